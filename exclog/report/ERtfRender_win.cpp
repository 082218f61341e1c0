#include "exclog/report/ERtfRender_win.h"

#include <richedit.h>

#include <cstring>

namespace exclog {

int DashPixelWidth(HFONT font) {
  HDC dc = GetDC(nullptr);
  if (!dc) return 0;
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SIZE size{};
  static const char dashes[] = "---------------------";
  BOOL ok = GetTextExtentPoint32A(dc, dashes, static_cast<int>(sizeof dashes - 1), &size);
  if (old) SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return ok ? size.cx : 0;
}

namespace {

struct TMemoryReader {
  const std::string* Text;
  size_t Position;
};

DWORD CALLBACK ReadRtfChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* reader = reinterpret_cast<TMemoryReader*>(cookie);
  size_t left = reader->Text->size() - reader->Position;
  size_t n = wanted > 0 ? std::min(left, static_cast<size_t>(wanted)) : 0;
  std::memcpy(buffer, reader->Text->data() + reader->Position, n);
  reader->Position += n;
  *given = static_cast<LONG>(n);
  return 0;
}

}  // namespace

long StreamRtfIntoRichEdit(HWND edit, const std::string& rtf) {
  TMemoryReader reader{&rtf, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&reader);
  stream.pfnCallback = ReadRtfChunk;
  return static_cast<long>(SendMessageA(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream)));
}

void SetRichEditBackground(HWND edit, int32_t colour) {
  COLORREF value = colour < 0 ? GetSysColor(colour & 0xFF) : static_cast<COLORREF>(colour);
  SendMessageA(edit, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(value));
}

}  // namespace exclog
