#include "skin.h"

#include "carried.h"
#include "carriedfiles.h"
#include "programstate.h"

namespace core {

void AttachSkin(ProgramState& state, int number) {
  const std::string library = SkinLibraryPath(state.deployFolder, state.installedLibraries);
  // An installed program's library is the package's: a missing one is never written there.
  if (!state.installedLibraries) EnsureCarriedFile(library, payload::CarriedSkinKit(), 0755);
  const payload::CarriedFile skin = payload::CarriedSkin(number);
  LibraryFunction<int(const void*, int, const char*, int, int, int)> attach(state.libraries, library,
                                                                            "SkinKit_AttachRes");
  attach(skin.data, int(skin.size), "", 0, 0, 0);  // the result is not needed
}

}  // namespace core
