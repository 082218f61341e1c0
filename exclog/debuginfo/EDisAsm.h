#pragma once
// The x86 disassembler of the report's assembler listing: one line of Intel-syntax
// text per instruction, decoded from a bounded copy of the code, never failing.
//
// Coverage: the 32-bit Intel opcode maps up to the Pentium II with MMX: the one-byte
// map, the two-byte map (0F) with MMX, the ModR/M groups and the x87 escapes (register
// forms spelled as the manual does: "fadd    st(0), st(1)"). The template notation has
// no xmm operand, so an encoding outside the coverage (SSE and later, 0F 38 / 0F 3A,
// 3DNow!, VEX, an MMX opcode under a 66, F2 or F3 prefix, the forms F3 selects such
// as tzcnt) gives one "DB" line spanning the instruction as the hook engine's
// InstructionLength measures it, so listings stay in step; when that decoder cannot
// measure it either, the DB spans the bytes read. Bytes
// that form no instruction (F1, D6, empty group slots, a memory-only operand with
// mod 3, segment register 6 or 7, more than 15 bytes) give a DB of the bytes read:
// "DB      $F1  //".
//
// Text rules:
// - mnemonic padded with blanks to 8 characters, one blank after a longer one;
//   operands separated by ", "; no line has trailing blanks;
// - registers lower case; control, debug, test and MMX registers "C0", "D7", "T3",
//   "MM1";
// - immediates "$" and two upper-case hexadecimal digits per byte ("$05", "$1234");
//   short signed immediates and relative jumps "+$10" / "-$10";
// - address values (32-bit displacements, direct offsets) "$" and at least four
//   digits ("$0000", "$401000"); a displacement-only operand reads "[$00401000]"
//   (all eight digits); a 16-bit displacement reads "+$xxxx";
// - a segment override comes before the bracket: "dword ptr fs:[eax+$08]";
// - memory operands carry "byte ptr " ... "tbyte ptr " by the size flag rule below;
// - F0, F2, F3 as the first byte are a line of their own ("lock", "repne", "rep"),
//   unless the instruction they begin is outside the coverage: then the one DB line
//   starts at them ("F3 0F 6F" is movdqu, not rep and an MMX move); after another
//   prefix they are written in front of the mnemonic ("rep movsw"), since a line of
//   their own would lose the earlier prefixes.
//
// Tables are text templates in the opcode-map notation; EDisAsm.cpp describes the
// codes. Groups are Intel's 1 to 9, the MMX shift group (0F 71-73), group 11 (C6/C7
// mov) and group 1a (8F pop), so that empty slots of the last two give DB.
#include <cstddef>
#include <cstdint>
#include <string>

namespace exclog {

// What an annotation callback is told about the operand it may extend.
struct TDisAsmOperand {
  uint32_t InstructionAddress = 0;  // virtual address of the instruction
  uint32_t Value = 0;     // jump/call target, address value or immediate
  uint32_t Size = 0;      // operand size in bytes
  uint32_t Position = 0;  // offset of the value's bytes within the instruction
  bool Signed = false;    // a short signed immediate ("+$10")
};

// An annotation callback: may append to `text` (the operand's text). What it adds is
// taken verbatim; it is never read as template codes.
using TDisAsmCallback = void (*)(void* data, const TDisAsmOperand& operand, std::string& text);

class TDisAsm {
 public:
  // Each may be null. OnJump / OnCall get relative jump and call targets (Value is the
  // absolute target); OnAddress gets address values; OnMemory gets each whole memory
  // operand; OnImmediate gets immediates.
  TDisAsmCallback OnJump = nullptr;
  TDisAsmCallback OnCall = nullptr;
  TDisAsmCallback OnAddress = nullptr;
  TDisAsmCallback OnMemory = nullptr;
  TDisAsmCallback OnImmediate = nullptr;
  void* Data = nullptr;

  // Decodes the instruction at the start of `code` (`count` bytes readable, at most
  // 15 are read) that lies at `address`. `length` gets its length (1 to 15; 0 only
  // when `count` is 0), `text` its line.
  void Disassemble(const uint8_t* code, size_t count, uint32_t address, uint32_t& length,
                   std::string& text) const;

#ifdef _WIN32
  // The address form: copies up to 15 readable bytes from `address` first (nothing
  // readable gives length 0 and an empty text).
  void Disassemble(const void* address, uint32_t& length, std::string& text) const;
#endif
};

}  // namespace exclog
