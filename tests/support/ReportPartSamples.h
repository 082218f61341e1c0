#pragma once
// Report parts as the report builder lays them out, shared by the tests of their
// rendering (natively against unrtf, under Wine in a real rich edit).

namespace velmora::test {

inline constexpr char kGeneral[] =
    "QuelbaLog 6.1.04\r\n"
    "\r\n"
    "Application:\r\n"
    "------------\r\n"
    "  1.1 Start Date : Mon, 7 Dec 2026\r\n"
    "  1.2 Name {x}   : C:\\a\\b.exe\r\n"
    "                   more\r\n";

inline constexpr char kAssembler[] =
    "; Unit1 (Line=12)\r\n"
    "; ---------------\r\n"
    "0040102A  mov eax, [ebx]     ; <-- EXCEPTION\r\n"
    "0040102D  ret";

inline constexpr char kCpu[] =
    "Registers:\r\n"
    "-----------------------------\r\n"
    "EAX: 0012FF00   EDI: 00000001\r\n"
    "EBX: 7FFDF000   ESI: 00000000\r\n"
    "ECX: 00000000   ESP: 0012FF00\r\n"
    "EDX: ????       EIP: 00401000\r\n"
    "\r\n"
    "Stack:               Memory Dump:\r\n"
    "------------------   ----------\r\n"
    "0012FF00: 00401000   00401000: 5C 7B 7D 41 42 43 00 01 7E 7F 20 30 31 32 33 34  \\{}ABC..~. 01234\r\n";

}  // namespace velmora::test
