#pragma once
// Base64 with the standard alphabet and "=" padding: attachments of MIME mail and
// the credentials of HTTP Basic authorisation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace exclog {

// 4 * ceil(n / 3).
size_t EncodedLength(size_t n);
// The byte count `text` decodes to: 0 unless its length is a non-zero multiple of
// 4; one or two trailing "=" take one or two bytes off.
size_t DecodedLength(std::string_view text);

std::string EncodeBuffer(const void* bytes, size_t n);
std::string EncodeString(std::string_view text);
// Empty when the length is wrong, a character is outside the alphabet, or "="
// stands anywhere but in the last two places.
std::string DecodeString(std::string_view text);

// The file's bytes in Base64, in lines of 80 characters joined by "\r\n" (none
// after the last). Empty for an empty path or a file that cannot be read.
std::string Base64FileLines(const std::string& path);

}  // namespace exclog
