// The file side of ObjModel::load_obj_model: reading the files, path
// building, the material library's map_Kd statement, and the texture loader
// it is handed. The byte parsing itself lives in model/obj_parse.h. No
// OpenGL and no picture library here: textures come through the loader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Turns a texture path into an OpenGL texture name, 0 when the picture cannot
// be read. Null at the start: models then load without a texture. The
// program sets it at start-up to its picture side's loader
// (load_picture_texture, image/picture_file.h: DevIL decoding apart from the
// program; DevIL initialised for OpenGL and the drawing context current);
// tests put a recorder here. A load calls it at most once, after the OBJ
// file has been parsed, for the texture of the last material library the
// file names: the one the model ends with.
using ObjTextureLoader = uint32_t (*)(const char* path);
extern ObjTextureLoader obj_texture_loader;

// Writes "directory/name" (name: length bytes, not NUL-terminated) into out,
// which holds size bytes with the terminator; a name that starts with '/'
// is written as it stands. Names are bytes: any encoding passes. Returns
// false, leaving out empty, when the name is empty, holds a NUL byte, or
// the path does not fit: a shortened path is never built.
bool join_path(char* out, size_t size, const char* directory, const char* name, size_t length);

// Reading the material library: it is read in pieces of at most 254 bytes
// (the line feed included), each piece tested like a line, and the first
// piece that begins with "map_Kd" is the texture statement (also one that
// continues a longer line). A map_Kd piece that does not end within its 254
// bytes is over-long and refused; one that ends the file without a line
// feed ends there.
constexpr size_t kMtlPieceSize = 255;  // buffer bytes, with the terminator
enum class MapKdStatus { found, missing, too_long };
MapKdStatus read_map_kd(FILE* mtl, char (&line)[kMtlPieceSize], size_t* length);
