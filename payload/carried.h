#pragma once
// The files the program carries inside itself and writes out on first start: the engine and
// skin libraries, the engine's id.dat, and the 33 skins (handed to the skin library from
// memory, never written).
#include <cstddef>
#include <string>

namespace payload {

struct CarriedFile {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

// False in a build that carries no libraries (the packages'): then the two below are empty.
bool CarriesLibraries();
CarriedFile CarriedDlcore();
CarriedFile CarriedSkinKit();
CarriedFile CarriedIdDat();
// Skins 1 to 33; an empty file for any other number.
CarriedFile CarriedSkin(int number);

// How the system's loadable libraries end.
#ifdef _WIN32
inline constexpr const char* kLibrarySuffix = ".dll";
#else
inline constexpr const char* kLibrarySuffix = ".so";
#endif

// The name a carried library is written under: hidden, with a short hash of its bytes, so
// that a newer build never loads a library an older one left behind (".dlcore-3f9a2c1d.so").
std::string CarriedLibraryName(const std::string& stem, const CarriedFile& file);

}  // namespace payload
