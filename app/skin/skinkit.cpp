// skinkit: our skin engine. A skin is ".SKN" followed by a Qt style sheet; attaching it
// styles the whole application. Hue, saturation and brightness shift every #rrggbb colour of
// the sheet (0, 0, 0 keeps the skin's own colours). Loaded by the program at run time.
#include <QApplication>
#include <QColor>
#include <QRegularExpression>
#include <QString>

namespace {

QString Adjusted(QString sheet, int hue, int saturation, int brightness) {
  if (!hue && !saturation && !brightness) return sheet;
  static const QRegularExpression colour(QStringLiteral("#[0-9a-fA-F]{6}\\b"));
  QString out;
  qsizetype last = 0;
  for (auto it = colour.globalMatch(sheet); it.hasNext();) {
    auto m = it.next();
    QColor c(m.captured());
    int h, s, v;
    c.getHsv(&h, &s, &v);
    c.setHsv(((h < 0 ? 0 : h) + hue % 360 + 360) % 360, qBound(0, s + saturation, 255), qBound(0, v + brightness, 255));
    out += sheet.mid(last, m.capturedStart() - last) + c.name();
    last = m.capturedEnd();
  }
  return out + sheet.mid(last);
}

}  // namespace

// 1 when the skin was attached; 0 for an empty or foreign buffer, which leaves the look alone.
#ifdef _WIN32
#define SKINKIT_EXPORT __declspec(dllexport)
#else
#define SKINKIT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" SKINKIT_EXPORT int SkinKit_AttachRes(const void* buffer, int length, const char* password, int hue,
                                                int saturation, int brightness) {
  (void)password;  // skins are not encrypted
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || !buffer || length < 4 || QByteArray::fromRawData(static_cast<const char*>(buffer), 4) != ".SKN") return 0;
  QString sheet = QString::fromUtf8(static_cast<const char*>(buffer) + 4, length - 4);
  app->setStyleSheet(Adjusted(sheet, hue, saturation, brightness));
  return 1;
}
