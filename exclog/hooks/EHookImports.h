#pragma once
// Reading a loaded 32-bit PE image's import directory: where the import address table
// slots of one DLL lie. Works on the image as mapped (offsets are RVAs), so the same
// walk serves a live module and a buffer in a test. Every read is bounded by the size
// given, which the caller takes from the image's own size and what is readable.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace exclog {

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kNtHeadersSize = 248;  // signature, file header, PE32 optional header

// Offset of the NT headers when the first bytes form a PE image: "MZ", a non-zero
// e_lfanew, 248 bytes of NT headers within `size`, and the signature "PE\0\0".
std::optional<uint32_t> NtHeadersOffset(const uint8_t* image, size_t size);

// The image's SizeOfImage from its optional header; nothing when the headers fail the
// checks of NtHeadersOffset.
std::optional<uint32_t> ImageSizeOf(const uint8_t* image, size_t size);

struct TImportSlot {
  uint32_t SlotRva = 0;  // where the 32-bit import address table entry lies
  uint32_t Value = 0;    // the address it holds
};

// Every import address table slot of the descriptors whose DLL name equals `dllName`
// (ASCII letters without regard to case), in descriptor and slot order. Nothing when
// the headers are not a PE image; an empty list when there is no import directory
// (RVA 0) or no such DLL. A descriptor, name or table that runs out of the image ends
// the walk there.
std::optional<std::vector<TImportSlot>> FindImportSlots(const uint8_t* image, size_t size,
                                                        std::string_view dllName);

}  // namespace exclog
