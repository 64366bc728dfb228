# Writes the bytes of files into a C++ source as arrays, so that the program
# carries them: cmake -DOUTPUT=file.inc -DNAMES="a|b" -DFILES="a.png|b.png" -P embed-files.cmake
# gives, for each name, `const unsigned char name[]` and `name_size`.
string(REPLACE "|" ";" NAMES "${NAMES}")
string(REPLACE "|" ";" FILES "${FILES}")
set(text "// Made by tools/embed-files.cmake from the files named below; do not edit.\n")
foreach(name file IN ZIP_LISTS NAMES FILES)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  get_filename_component(base "${file}" NAME)
  string(APPEND text "// ${base}\nconst unsigned char ${name}[] = {\n${bytes}};\nconst unsigned ${name}_size = ${size};\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
