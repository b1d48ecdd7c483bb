#include "skin.h"

#include "carried.h"
#include "carriedfiles.h"
#include "programstate.h"

void AttachSkin(ProgramState& state, int number) {
  const std::string library = SkinLibraryPath(state.deployFolder);
  EnsureCarriedFile(library, CarriedSkinKit(), 0755);
  const CarriedFile skin = CarriedSkin(number);
  LibraryFunction<int(const void*, int, const char*, int, int, int)> attach(state.libraries, library, "SkinKit_AttachRes");
  attach(skin.data, int(skin.size), "", 0, 0, 0);  // the result is not needed
}
