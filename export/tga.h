// The TGA writer: uncompressed true-colour TGA files (image type 2) of 24
// or 32 bits a pixel, from pixels as the OpenGL read-back delivers them
// (R, G, B[, A] bytes, rows back to back, bottom row first).
//
// encode_tga is the whole format over plain data and a byte sink; write_tga
// puts it in a file. Where a new file can take the named file's place
// without changing anything but its content, it does so only once every
// byte has been written, so a failed save leaves the earlier file as it was.
#pragma once

#include <cstddef>
#include <string>

// Receives the encoded bytes in file order, a block at a time; returns false
// when the bytes could not be taken, which stops the encoding.
using TgaSink = bool (*)(void* context, const unsigned char* bytes, std::size_t count);

// File depth in bits for a requested depth: 3 or 24 give 24, 4 or 32 give
// 32, anything else 0 (unsupported).
int tga_file_depth(int depth);

// Size in bytes of the file for these arguments: 18 + width * height * (3 or
// 4); 0 when the depth is unsupported or a side is negative.
std::size_t tga_file_size(int width, int height, int depth);

// Sends the 18-byte header and the pixel data to sink. Each input pixel
// (R, G, B[, A]) is stored as B, G, R[, A] in input order. Width and height
// are stored as their low 16 bits. Prints nothing; returns false when the
// depth is unsupported, a side is negative, pixels is null for a non-empty
// image, or the sink refused a block.
bool encode_tga(TgaSink sink, void* context, int width, int height, int depth,
                const unsigned char* pixels);

// Writes the image to the file at path and returns true when every byte is
// in place. On failure it prints one line on standard error and returns
// false:
//   - unsupported depth: "[ERROR] Unsupported bit depth requested", and no
//     file is opened or created;
//   - anything else (missing folder, path names a folder, no permission, a
//     write or the close failing, a full disk):
//     "[ERROR] could not save file \"<path>\"".
// A file we may not write is refused untouched. A new file, or a regular
// file with no other hard links, owned by us, in a folder we may write, is
// replaced: the image goes to a temporary file in the same folder, renamed
// over path at the end, so a failed save leaves the earlier file as it was
// and no temporary file. A new file gets the usual 0666 & ~umask
// permissions; a replaced one keeps its group and permissions (when its
// group cannot be kept it is written into instead). Any other file keeps its
// identity (inode, links, owner) and is written into, emptied first as
// fopen "wb" would: a device, a named pipe (one with no reader is an error,
// not a wait), a hard-linked file, another user's file, a file in a
// read-only folder. A regular file written into that fails part-way is left
// short. A symbolic link is followed: the file it points to is saved, in
// that file's folder, and the link stays; a link to nowhere is an error.
bool write_tga(const char* path, int width, int height, int depth, const unsigned char* pixels);

// Whether a file that starts with these bytes is an uncompressed
// true-colour TGA file, the kind write_tga writes, as its 18-byte header
// tells:
//   byte 1 (colour-map type) is 0 and bytes 3 to 7 (the colour map's
//   first entry, length and entry size) are all 0: no colour map;
//   byte 2 (image type) is 2: uncompressed true-colour;
//   byte 16 (pixel depth) is 24 or 32.
// The other bytes (identification length, origin, sides, descriptor) may
// be anything, and fewer than 18 bytes are not such a file. A JPEG, PNG,
// BMP, GIF, TIFF or PNM file fails at byte 1 or 2 already, an icon or a
// cursor at bytes 3 to 7. A TGA file whose writer left colour-map bytes
// in is taken for something else: saving over it keeps a copy that was
// not needed, never loses one.
bool is_true_colour_tga(const unsigned char* head, std::size_t count);

// write_tga for Save Image, whose file name is the picture just loaded
// unless the user changes it: a photo is never lost to it. When path names
// a regular file (through a symbolic link: the file it points to) that is
// not an uncompressed true-colour TGA file (a file whose first bytes
// cannot be read counts as not one), its content is first kept, byte for
// byte, as "<name>~" in that file's folder, replacing an older "<name>~".
// Where the new file takes the earlier one's place by rename, the earlier
// file itself becomes "<name>~" (a hard link, made once the new file is
// complete); where the file is written into, its bytes are first copied
// to a temporary file that is renamed to "<name>~" once complete. When
// the copy cannot be kept (a folder we may not write, a full disk, a name
// with no room for the "~"), the save is refused with write_tga's line
// and nothing is touched. Devices and pipes are never kept; over a TGA
// file, or to a new name, this is write_tga.
// *kept: the path of the copy when one was kept (also when the save then
// failed, which may leave the named file short), else empty.
bool write_tga_keeping(const char* path, int width, int height, int depth,
                       const unsigned char* pixels, std::string* kept);
