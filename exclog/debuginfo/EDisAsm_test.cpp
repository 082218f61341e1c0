// What the objdump differential cannot see: exact text, DB lines, the size flag,
// callbacks, bounded reads. The differential carries the opcode tables.
#include "exclog/debuginfo/EDisAsm.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using exclog::TDisAsm;
using exclog::TDisAsmOperand;

struct TLine {
  uint32_t Length;
  std::string Text;
};

TLine Decode(const std::vector<uint8_t>& bytes, const TDisAsm& d = TDisAsm(), uint32_t address = 0x401000) {
  // An exact-size heap copy: the sanitizer sees any read past the end.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  TLine l;
  d.Disassemble(copy.get(), bytes.size(), address, l.Length, l.Text);
  return l;
}

TEST(EDisAsm, EdgeCasesOfTheTextRules) {
  EXPECT_EQ(Decode({0x90}).Text, "nop");
  EXPECT_EQ(Decode({0x90}).Length, 1u);
  EXPECT_EQ(Decode({0xF1}).Text, "DB      $F1  //");
  EXPECT_EQ(Decode({0xF1}).Length, 1u);
  // lock alone; the instruction after it is the next call's.
  EXPECT_EQ(Decode({0xF0, 0x01, 0x18}).Text, "lock");
  EXPECT_EQ(Decode({0xF0, 0x01, 0x18}).Length, 1u);
  // 0x67 selects the 16-bit forms.
  EXPECT_EQ(Decode({0x67, 0x8B, 0x00}).Text, "mov     eax, [bx+si]");
  EXPECT_EQ(Decode({0x67, 0x8B, 0x43, 0xFC}).Text, "mov     eax, [bp+di-$04]");
  EXPECT_EQ(Decode({0x67, 0x8B, 0x87, 0x34, 0x12}).Text, "mov     eax, [bx+$1234]");
  EXPECT_EQ(Decode({0x67, 0x8B, 0x06, 0x34, 0x12}).Text, "mov     eax, [$1234]");
  // Byte memory operands carry their size; a register operand clears the flag.
  EXPECT_EQ(Decode({0xFE, 0x00}).Text, "inc     byte ptr [eax]");
  EXPECT_EQ(Decode({0xC6, 0x00, 0x05}).Text, "mov     byte ptr [eax], $05");
  EXPECT_EQ(Decode({0x00, 0x18}).Text, "add     [eax], bl");
  EXPECT_EQ(Decode({0xFF, 0x30}).Text, "push    dword ptr [eax]");
  EXPECT_EQ(Decode({0xDB, 0x28}).Text, "fld     tbyte ptr [eax]");
  EXPECT_EQ(Decode({0x8D, 0x44, 0x24, 0x08}).Text, "lea     eax, [esp+$08]");
  // SIB, displacement-only and address values; the segment before the bracket.
  EXPECT_EQ(Decode({0x8B, 0x84, 0x98, 0x10, 0x20, 0x30, 0x00}).Text, "mov     eax, [eax+ebx*4+$302010]");
  EXPECT_EQ(Decode({0x8B, 0x05, 0x00, 0x10, 0x40, 0x00}).Text, "mov     eax, [$00401000]");
  EXPECT_EQ(Decode({0x64, 0x8B, 0x48, 0x08}).Text, "mov     ecx, fs:[eax+$08]");
  // Signed forms, jumps, prefixes written with the instruction, long mnemonics.
  EXPECT_EQ(Decode({0x83, 0xC4, 0xF0}).Text, "add     esp, -$10");
  EXPECT_EQ(Decode({0xEB, 0xFE}).Text, "jmp     -$02");
  EXPECT_EQ(Decode({0x66, 0xF3, 0xA5}).Text, "rep movsw");
  EXPECT_EQ(Decode({0x66, 0xF3, 0xA5}).Length, 3u);
  EXPECT_EQ(Decode({0x0F, 0x60, 0xC1}).Text, "punpcklbw MM0, MM1");
  EXPECT_EQ(Decode({0xD8, 0xC1}).Text, "fadd    st(0), st(1)");
  EXPECT_EQ(Decode({0xC3}).Text, "ret");
}

TEST(EDisAsm, MendedFaults) {
  // R is the r/m register whatever the mod bits say.
  EXPECT_EQ(Decode({0x0F, 0x20, 0x40}).Text, "mov     eax, C0");
  EXPECT_EQ(Decode({0x0F, 0x20, 0x40}).Length, 3u);
  // M with mod 3 is no instruction.
  EXPECT_EQ(Decode({0x8D, 0xC0}).Text, "DB      $8D, $C0  //");
  // Segment registers 6 and 7 do not exist.
  EXPECT_EQ(Decode({0x8C, 0xF0}).Text, "DB      $8C, $F0  //");
  EXPECT_EQ(Decode({0x8E, 0xF8}).Length, 2u);
  // The direct offset keeps its segment override.
  EXPECT_EQ(Decode({0x64, 0xA1, 0, 0, 0, 0}).Text, "mov     eax, fs:[$0000]");
  // Far pointers are the operand size + 2: 6 bytes, 4 after 0x66.
  EXPECT_EQ(Decode({0x67, 0xEA, 1, 2, 3, 4, 5, 6}).Length, 8u);
  EXPECT_EQ(Decode({0x66, 0xEA, 1, 2, 3, 4}).Length, 6u);
  // Bounded reads: an endless prefix chain stops at 15 bytes, a cut instruction at the
  // last byte given.
  const TLine chain = Decode(std::vector<uint8_t>(40, 0x66));
  EXPECT_EQ(chain.Length, 15u);
  EXPECT_EQ(chain.Text.substr(0, 13), "DB      $66, ");
  const TLine cut = Decode({0x8B, 0x84, 0x98});
  EXPECT_EQ(cut.Length, 3u);
  EXPECT_EQ(cut.Text, "DB      $8B, $84, $98  //");
  EXPECT_EQ(Decode({}).Length, 0u);
}

TEST(EDisAsm, OutsideTheCoverageIsOneLineAsLongAsTheInstruction) {
  // movups xmm0, [eax+$10]: one DB line of its four bytes.
  EXPECT_EQ(Decode({0x0F, 0x10, 0x40, 0x10, 0x90}).Text, "DB      $0F, $10, $40, $10  //");
  // An MMX opcode under 0x66 is the SSE2 form.
  EXPECT_EQ(Decode({0x66, 0x0F, 0xEF, 0xC0}).Length, 4u);
  // F3 or F2 first is a line of its own unless it selects such a form (movdqu, movq
  // into xmm, tzcnt, an undefined MMX form): then one DB spans prefixes and all.
  EXPECT_EQ(Decode({0xF3, 0x0F, 0x6F, 0x40, 0x10, 0x90}).Text, "DB      $F3, $0F, $6F, $40, $10  //");
  EXPECT_EQ(Decode({0xF3, 0x0F, 0x7E, 0xC1, 0x90}).Length, 4u);
  EXPECT_EQ(Decode({0xF3, 0x0F, 0x7F, 0x04, 0x24, 0x90}).Length, 5u);
  EXPECT_EQ(Decode({0xF3, 0x66, 0x0F, 0xBC, 0xC1, 0x90}).Length, 5u);
  EXPECT_EQ(Decode({0xF2, 0x0F, 0x77, 0x90}).Length, 3u);
  EXPECT_EQ(Decode({0xF3, 0x0F, 0xAF, 0xC1}).Text, "rep");
  // lock selects nothing: the MMX move stays.
  EXPECT_EQ(Decode({0xF0, 0x0F, 0x6F, 0xC1}).Text, "lock");
  EXPECT_EQ(Decode({0x2E, 0xF0, 0x0F, 0x6F, 0xC1}).Text, "lock movq    MM0, MM1");
}

struct TRecorder {
  std::vector<std::string> Calls;
};

void Add(void* data, const char* kind, const TDisAsmOperand& op, std::string& text) {
  static_cast<TRecorder*>(data)->Calls.push_back(std::string(kind) + ":" + std::to_string(op.Value));
  // Codes of the template language must come out verbatim.
  text += " #Ev@eax%c@m";
}

TEST(EDisAsm, CallbacksExtendOperandsVerbatim) {
  TRecorder rec;
  TDisAsm d;
  d.Data = &rec;
  d.OnCall = [](void* data, const TDisAsmOperand& op, std::string& t) { Add(data, "call", op, t); };
  d.OnJump = [](void* data, const TDisAsmOperand& op, std::string& t) { Add(data, "jump", op, t); };
  d.OnAddress = [](void* data, const TDisAsmOperand& op, std::string& t) { Add(data, "address", op, t); };
  d.OnImmediate = [](void* data, const TDisAsmOperand& op, std::string& t) { Add(data, "imm", op, t); };

  // call +$10 at $1000: target $1015.
  EXPECT_EQ(Decode({0xE8, 0x10, 0, 0, 0}, d, 0x1000).Text, "call    +$00000010 #Ev@eax%c@m");
  EXPECT_EQ(Decode({0x74, 0xFE}, d, 0x1000).Text, "je      -$02 #Ev@eax%c@m");
  // A byte placeholder after the callback text still lands before the bracket.
  EXPECT_EQ(Decode({0xC6, 0x05, 0, 0x10, 0x40, 0, 0x07}, d).Text,
            "mov     byte ptr [$00401000 #Ev@eax%c@m], $07 #Ev@eax%c@m");
  // A rep line of its own tells no one about the instruction after it.
  EXPECT_EQ(Decode({0xF3, 0x0F, 0xAF, 0x05, 0, 0x10, 0x40, 0}, d).Text, "rep");
  EXPECT_EQ(rec.Calls, (std::vector<std::string>{"call:4117", "jump:4096", "address:4198400", "imm:7"}));
}

}  // namespace
