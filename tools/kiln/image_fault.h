// Names why the texture loader refused an image file. The loader's result
// codes say only that no decoder took the bytes; the tool looks at the file
// itself (its signature, and for PNG and JPEG the libraries' own messages) to
// tell the user what is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a whole file; on failure *error says why ("No such file or directory").
bool ReadImageBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// The kind of image the first bytes announce ("PNG", "JPEG", ...), or "" when
// they announce none the loader knows.
std::string SignatureKind(const std::vector<uint8_t>& bytes);

// Why an image of that kind cannot be read: "PNG: IHDR: CRC error",
// "a TGA file whose pixel data is truncated or malformed", ...
// `headerKind` names the decoder that read the header before the pixels
// failed, or is empty when no decoder took even the header.
std::string DescribeImageFault(const std::vector<uint8_t>& bytes, const std::string& headerKind);
