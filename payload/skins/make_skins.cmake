# Writes the 33 carried skins: ".SKN" followed by a Qt style sheet, from three designs (by
# corner radius) and eleven palettes. Skin 11 is the rounded design in the "sky" palette.
#   cmake -DTEMPLATE=skin.qss.in -DOUT=folder -P make_skins.cmake
set(design_names rounded flat soft)
set(design_radius 3 0 6)
# name,window,text,base,button,hover,border,accent,muted
set(palettes
  "paper,#f4f4f4,#202020,#ffffff,#e9e9e9,#dcdcdc,#a0a0a0,#2d6cc0,#9a9a9a"
  "mint,#eef7f1,#1d2b22,#ffffff,#dcefe2,#c9e6d2,#8fb59c,#1f8a4c,#95ab9c"
  "sand,#f7f2e8,#2e2618,#fffdf8,#ede3d0,#e3d6bc,#b8a47e,#b06f16,#aa9f8a"
  "rose,#fbf0f2,#33191f,#ffffff,#f3dde2,#ecccd4,#c49aa5,#c23a5a,#b39aa0"
  "lilac,#f4f1fa,#241d33,#ffffff,#e6e0f3,#d9d0ee,#a79cc4,#6a4bc4,#a29bb5"
  "slate,#e9ecef,#1c232b,#f8f9fa,#dfe3e7,#d0d6dc,#98a2ad,#3b5b7e,#98a0a8"
  "ocean,#e8f3f6,#112a31,#fbfeff,#d3e8ee,#c0dee7,#82b0bd,#0f7f99,#8fa9b0"
  "graphite,#3a3d41,#e6e6e6,#2b2d30,#4a4e53,#565b61,#6b7077,#58a6ff,#8a8f96"
  "night,#23272e,#dfe3ea,#1b1e23,#30353d,#3a404a,#4b525d,#e0a84b,#7b828c"
  "forest,#2a302b,#e3ebe4,#202521,#394139,#434c44,#5a665b,#6fc47f,#7f8a80"
  "sky,#eef4fb,#1b2b3a,#ffffff,#dde8f5,#cddcee,#8fa9c6,#1e6fd9,#93a4b5")
file(READ "${TEMPLATE}" template)
file(MAKE_DIRECTORY "${OUT}")
set(NUMBER 0)
foreach(d RANGE 0 2)
  list(GET design_names ${d} DESIGN)
  list(GET design_radius ${d} RADIUS)
  foreach(p IN LISTS palettes)
    math(EXPR NUMBER "${NUMBER} + 1")
    string(REPLACE "," ";" fields "${p}")
    list(GET fields 0 NAME)
    list(GET fields 1 WINDOW)
    list(GET fields 2 TEXT)
    list(GET fields 3 BASE)
    list(GET fields 4 BUTTON)
    list(GET fields 5 HOVER)
    list(GET fields 6 BORDER)
    list(GET fields 7 ACCENT)
    list(GET fields 8 MUTED)
    string(CONFIGURE "${template}" sheet @ONLY)
    string(LENGTH "0${NUMBER}" width)
    if(NUMBER LESS 10)
      set(name "skin0${NUMBER}.skn")
    else()
      set(name "skin${NUMBER}.skn")
    endif()
    file(WRITE "${OUT}/${name}.tmp" ".SKN${sheet}")
    file(COPY_FILE "${OUT}/${name}.tmp" "${OUT}/${name}" ONLY_IF_DIFFERENT)
    file(REMOVE "${OUT}/${name}.tmp")
  endforeach()
endforeach()
