// quorvel-cli: what the window does, from a shell.
// The commands, options and exit statuses are in kHelp, which is also its manual page.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "platform/process.h"
#include "platform/terminal.h"

namespace {

const char* const kHelp =
    "用法：quorvel-cli search DEVICE [OPTION]...\n"
    "  或：quorvel-cli mapdata VERSION --kind KINDS [OPTION]...\n"
    "  或：quorvel-cli verify ARCHIVE [TORRENT] [OPTION]...\n"
    "  或：quorvel-cli torrent FILE.torrent|URL [OPTION]...\n"
    "在命令行里做 Quorvel 窗口做的事：向渠道门户查询设备的主程序，经 Quorvel 下载引擎下载它或图资，\n"
    "并用种子校验压缩包。\n"
    "\n"
    "search DEVICE：显示设备号的主程序行。\n"
    "  --json                 以 JSON 显示\n"
    "  --download [file|bt]   下载主程序（file，默认）或它的种子（bt）\n"
    "  -o DIR                 保存到 DIR（默认：当前目录）\n"
    "\n"
    "mapdata VERSION：下载一个图资版本（如 3m21j27）的图资。\n"
    "  --kind KINDS           窗口列表里的行，用编号（0 到 23）或名称（set、3d_a1、…、0e、0s、0w、0n），\n"
    "                         以逗号分隔；或 all\n"
    "  --bt                   下载种子而不是文件\n"
    "  --id ID                补丁和动态图资的增量更新编号\n"
    "  --part2                分区图资的第 2 部分（否则第 1 部分）\n"
    "  -o DIR                 保存到 DIR（默认：当前目录）\n"
    "  --jobs K               同时最多 K 个下载（1 到 8，默认 2）\n"
    "  --content              与 --bt 一起：随后像 quorvel-cli torrent 一样下载每个种子的内容\n"
    "\n"
    "verify ARCHIVE [TORRENT]：用种子的分块校验值检查压缩包；不给 TORRENT 时，用压缩包旁边同名的种子。\n"
    "  --device DEVICE        改为从设备号的主程序行下载种子\n"
    "  --repair               只重新下载坏块（按字节范围，每块先校验再写入），然后再校验一遍\n"
    "  --from URL             修复时从 URL 取块（默认：种子的网络种子，或 --device 的主程序行）\n"
    "\n"
    "torrent FILE.torrent|URL：经 BitTorrent 网络和种子的网络种子下载种子的内容；每一块都校验，\n"
    "续传数据保存在内容旁边。\n"
    "  -o DIR                 保存到 DIR（默认：当前目录）\n"
    "  --peer HOST:PORT       连接这个对端（可给多次）\n"
    "  --dht                  也经 DHT 寻找对端（默认关闭）\n"
    "  --max-upload-rate N    每秒最多上传 N 字节\n"
    "  --seed-ratio R         做种到上传量达到内容的 R 倍（默认：完成即停）\n"
    "  --port P               在端口 P 上监听（默认：由系统选择）\n"
    "  --stall SECONDS        SECONDS 秒没有数据就放弃（默认 300；每个 tracker 和网络种子都出错\n"
    "                         且没有对端时立即放弃）\n"
    "\n"
    "下载的命令（search --download、mapdata、torrent）：\n"
    "  --limit-rate RATE      所有下载合计每秒最多 RATE 字节；数字后加 K、M 或 G 表示 1024、1024^2、\n"
    "                         1024^3（500K、2M）\n"
    "\n"
    "问门户或下载服务器的命令（search、mapdata、verify）：\n"
    "  --portal HOST[:PORT]   渠道门户（默认：设置里的，否则程序自带的）\n"
    "  --download-server HOST[:PORT]\n"
    "                         下载服务器（同上）\n"
    "\n"
    "每个命令：\n"
    "  --help                 显示本帮助并退出\n"
    "  --version              显示版本并退出\n"
    "\n"
    "每个请求（门户、大小探测、下载、种子）都经 http_proxy、https_proxy 或 all_proxy 指定的代理，\n"
    "no_proxy 列出的主机除外。\n"
    "\n"
    "退出状态：0 完成；1 查无结果、不是每个下载都完成或有坏块；2 失败或参数错误；130 按了 Ctrl-C，\n"
    "每个下载都已暂停并保留续传数据（同一命令继续）。\n";

int Usage() {
  std::fputs("用法：quorvel-cli search|mapdata|verify|torrent ...（quorvel-cli --help 说明更多）\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  platform::UseUtf8Terminal();
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "--help") == 0) return std::fputs(kHelp, stdout) < 0;
  if (std::strcmp(argv[1], "--version") == 0) return std::printf("quorvel-cli %s\n", QUORVEL_VERSION) < 0;
  platform::CatchInterrupt(cli::gInterrupted);
  const std::string command = argv[1];
  const cli::Arguments args(argv + 2, argv + argc);
  // Every command takes --help too.
  for (const std::string& arg : args)
    if (arg == "--help") return std::fputs(kHelp, stdout) < 0;
  if (command == "search") return cli::Search(args);
  if (command == "mapdata") return cli::MapData(args);
  if (command == "verify") return cli::Verify(args);
  if (command == "torrent") return cli::Torrent(args);
  return Usage();
}
