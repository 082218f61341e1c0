#include "exclog/debuginfo/EDisAsm.h"

#include <cstdio>
#include <vector>

#include "exclog/hooks/EHookLength.h"

// Template codes (one template per opcode; the mnemonic ends at the first blank):
//   #XY    an operand, X the addressing method, Y the size letter of the opcode maps:
//          methods A C D E F G H I J L M O P Q R S T, sizes b w d q s t v c a p y and
//          blank (no size: clears the size flag). "y" is a word in memory but a
//          register of the operand size (mov to and from segment registers).
//          #Jbj / #Jvj a jump, #Jvc a call.
//   @eax   a register of the operand size ("eax" or "ax"), likewise @ecx ... @edi
//   @pX    segment-override prefix (e c s d f g), @so operand size, @sa address size:
//          record it and continue with the next byte's template
//   @c2    the 0F escape: continue with the two-byte template of the next byte
//   @gX    ModR/M group X (a-l): its entry for the reg field, itself a template
//   @hN    group operand tail N for the reg field
//   @oN    size suffix: 0 "" / "w", 1 "b", 2 "d" / "w", 3 "dq" / "wd", 4 "wde" / "bw"
//          (32-bit / 16-bit operands), 5 "e" / "" (by the address size)
//   @m     sets the size flag
//   @x     x87 escape: the memory or register form for the ModR/M byte
//   %c     no instruction;  %u  outside the coverage

namespace exclog {

namespace {

// clang-format off
const char* const kOneByte[256] = {
  // 00
  "add #Eb, #Gb", "add #Ev, #Gv", "add #Gb, #Eb", "add #Gv, #Ev", "add al, #Ib", "add @eax, #Iv", "push es", "pop es",
  "or #Eb, #Gb", "or #Ev, #Gv", "or #Gb, #Eb", "or #Gv, #Ev", "or al, #Ib", "or @eax, #Iv", "push cs", "@c2",
  // 10
  "adc #Eb, #Gb", "adc #Ev, #Gv", "adc #Gb, #Eb", "adc #Gv, #Ev", "adc al, #Ib", "adc @eax, #Iv", "push ss", "pop ss",
  "sbb #Eb, #Gb", "sbb #Ev, #Gv", "sbb #Gb, #Eb", "sbb #Gv, #Ev", "sbb al, #Ib", "sbb @eax, #Iv", "push ds", "pop ds",
  // 20
  "and #Eb, #Gb", "and #Ev, #Gv", "and #Gb, #Eb", "and #Gv, #Ev", "and al, #Ib", "and @eax, #Iv", "@pe", "daa",
  "sub #Eb, #Gb", "sub #Ev, #Gv", "sub #Gb, #Eb", "sub #Gv, #Ev", "sub al, #Ib", "sub @eax, #Iv", "@pc", "das",
  // 30
  "xor #Eb, #Gb", "xor #Ev, #Gv", "xor #Gb, #Eb", "xor #Gv, #Ev", "xor al, #Ib", "xor @eax, #Iv", "@ps", "aaa",
  "cmp #Eb, #Gb", "cmp #Ev, #Gv", "cmp #Gb, #Eb", "cmp #Gv, #Ev", "cmp al, #Ib", "cmp @eax, #Iv", "@pd", "aas",
  // 40
  "inc @eax", "inc @ecx", "inc @edx", "inc @ebx", "inc @esp", "inc @ebp", "inc @esi", "inc @edi",
  "dec @eax", "dec @ecx", "dec @edx", "dec @ebx", "dec @esp", "dec @ebp", "dec @esi", "dec @edi",
  // 50
  "push @eax", "push @ecx", "push @edx", "push @ebx", "push @esp", "push @ebp", "push @esi", "push @edi",
  "pop @eax", "pop @ecx", "pop @edx", "pop @ebx", "pop @esp", "pop @ebp", "pop @esi", "pop @edi",
  // 60
  "pusha@o0", "popa@o0", "bound #Gv, #Ma", "arpl #Ew, #Gw", "@pf", "@pg", "@so", "@sa",
  "push #Iv", "imul #Gv, #Ev, #Iv", "push #Hb", "imul #Gv, #Ev, #Hb", "ins@o1", "ins@o2", "outs@o1", "outs@o2",
  // 70
  "jo #Jbj", "jno #Jbj", "jb #Jbj", "jae #Jbj", "je #Jbj", "jne #Jbj", "jbe #Jbj", "ja #Jbj",
  "js #Jbj", "jns #Jbj", "jp #Jbj", "jnp #Jbj", "jl #Jbj", "jge #Jbj", "jle #Jbj", "jg #Jbj",
  // 80
  "@ga #Eb, #Ib", "@ga #Ev, #Iv", "@ga #Eb, #Ib", "@ga #Ev, #Hb", "test #Eb, #Gb", "test #Ev, #Gv", "xchg #Eb, #Gb", "xchg #Ev, #Gv",
  "mov #Eb, #Gb", "mov #Ev, #Gv", "mov #Gb, #Eb", "mov #Gv, #Ev", "mov #Ey, #Sw", "lea #Gv, #M ", "mov #Sw, #Ey", "@gl #Ev",
  // 90
  "nop", "xchg @ecx, @eax", "xchg @edx, @eax", "xchg @ebx, @eax", "xchg @esp, @eax", "xchg @ebp, @eax", "xchg @esi, @eax", "xchg @edi, @eax",
  "c@o4", "c@o3", "call #Ap", "fwait", "pushf@o0", "popf@o0", "sahf", "lahf",
  // A0
  "mov al, #Ob", "mov @eax, #Ov", "mov #Ob, al", "mov #Ov, @eax", "movs@o1", "movs@o2", "cmps@o1", "cmps@o2",
  "test al, #Ib", "test @eax, #Iv", "stos@o1", "stos@o2", "lods@o1", "lods@o2", "scas@o1", "scas@o2",
  // B0
  "mov al, #Ib", "mov cl, #Ib", "mov dl, #Ib", "mov bl, #Ib", "mov ah, #Ib", "mov ch, #Ib", "mov dh, #Ib", "mov bh, #Ib",
  "mov @eax, #Iv", "mov @ecx, #Iv", "mov @edx, #Iv", "mov @ebx, #Iv", "mov @esp, #Iv", "mov @ebp, #Iv", "mov @esi, #Iv", "mov @edi, #Iv",
  // C0
  "@gb #Eb, #Ib", "@gb #Ev, #Ib", "ret #Iw", "ret", "les #Gv, #Mp", "lds #Gv, #Mp", "@gk #Eb, #Ib", "@gk #Ev, #Iv",
  "enter #Iw, #Ib", "leave", "retf #Iw", "retf", "int3", "int #Ib", "into", "iret@o0",
  // D0
  "@gb #Eb, 1", "@gb #Ev, 1", "@gb #Eb, cl", "@gb #Ev, cl", "aam #Ib", "aad #Ib", "%c", "xlatb",
  "@x", "@x", "@x", "@x", "@x", "@x", "@x", "@x",
  // E0
  "loopne #Jbj", "loope #Jbj", "loop #Jbj", "j@o5cxz #Jbj", "in al, #Ib", "in @eax, #Ib", "out #Ib, al", "out #Ib, @eax",
  "call #Jvc", "jmp #Jvj", "jmp #Ap", "jmp #Jbj", "in al, dx", "in @eax, dx", "out dx, al", "out dx, @eax",
  // F0
  "lock", "%c", "repne", "rep", "hlt", "cmc", "@gc #Eb@h0", "@gc #Ev@h1",
  "clc", "stc", "cli", "sti", "cld", "std", "@gd @h2", "@ge @h3",
};

const char* const kTwoByte[256] = {
  // 00
  "@gf", "@gg", "lar #Gv, #Ey", "lsl #Gv, #Ey", "%c", "%u", "clts", "%u",
  "invd", "wbinvd", "%c", "ud2", "%c", "%u", "%u", "%u",
  // 10
  "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u",
  // 20
  "mov #Rd, #Cd", "mov #Rd, #Dd", "mov #Cd, #Rd", "mov #Dd, #Rd", "mov #Rd, #Td", "%c", "mov #Td, #Rd", "%c",
  "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u",
  // 30
  "wrmsr", "rdtsc", "rdmsr", "rdpmc", "sysenter", "sysexit", "%c", "%u",
  "%u", "%c", "%u", "%c", "%c", "%c", "%c", "%c",
  // 40
  "cmovo #Gv, #Ev", "cmovno #Gv, #Ev", "cmovb #Gv, #Ev", "cmovae #Gv, #Ev", "cmove #Gv, #Ev", "cmovne #Gv, #Ev", "cmovbe #Gv, #Ev", "cmova #Gv, #Ev",
  "cmovs #Gv, #Ev", "cmovns #Gv, #Ev", "cmovp #Gv, #Ev", "cmovnp #Gv, #Ev", "cmovl #Gv, #Ev", "cmovge #Gv, #Ev", "cmovle #Gv, #Ev", "cmovg #Gv, #Ev",
  // 50
  "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u", "%u",
  // 60
  "punpcklbw #Pq, #Qd", "punpcklwd #Pq, #Qd", "punpckldq #Pq, #Qd", "packsswb #Pq, #Qq",
  "pcmpgtb #Pq, #Qq", "pcmpgtw #Pq, #Qq", "pcmpgtd #Pq, #Qq", "packuswb #Pq, #Qq",
  "punpckhbw #Pq, #Qq", "punpckhwd #Pq, #Qq", "punpckhdq #Pq, #Qq", "packssdw #Pq, #Qq",
  "%u", "%u", "movd #Pd, #Ed", "movq #Pq, #Qq",
  // 70
  "%u", "@gjw #Qq, #Ib", "@gjd #Qq, #Ib", "@gjq #Qq, #Ib", "pcmpeqb #Pq, #Qq", "pcmpeqw #Pq, #Qq", "pcmpeqd #Pq, #Qq", "emms",
  "%u", "%u", "%u", "%u", "%u", "%u", "movd #Ed, #Pd", "movq #Qq, #Pq",
  // 80
  "jo #Jvj", "jno #Jvj", "jb #Jvj", "jae #Jvj", "je #Jvj", "jne #Jvj", "jbe #Jvj", "ja #Jvj",
  "js #Jvj", "jns #Jvj", "jp #Jvj", "jnp #Jvj", "jl #Jvj", "jge #Jvj", "jle #Jvj", "jg #Jvj",
  // 90
  "seto #Eb", "setno #Eb", "setb #Eb", "setae #Eb", "sete #Eb", "setne #Eb", "setbe #Eb", "seta #Eb",
  "sets #Eb", "setns #Eb", "setp #Eb", "setnp #Eb", "setl #Eb", "setge #Eb", "setle #Eb", "setg #Eb",
  // A0
  "push fs", "pop fs", "cpuid", "bt #Ev, #Gv", "shld #Ev, #Gv, #Ib", "shld #Ev, #Gv, cl", "%u", "%u",
  "push gs", "pop gs", "rsm", "bts #Ev, #Gv", "shrd #Ev, #Gv, #Ib", "shrd #Ev, #Gv, cl", "%u", "imul #Gv, #Ev",
  // B0
  "cmpxchg #Eb, #Gb", "cmpxchg #Ev, #Gv", "lss #Gv, #Mp", "btr #Ev, #Gv", "lfs #Gv, #Mp", "lgs #Gv, #Mp", "movzx #Gv, #Eb", "movzx #Gv, #Ew",
  "%u", "ud1 #Gv, #Ev", "@gh #Ev, #Ib", "btc #Ev, #Gv", "bsf #Gv, #Ev", "bsr #Gv, #Ev", "movsx #Gv, #Eb", "movsx #Gv, #Ew",
  // C0
  "xadd #Eb, #Gb", "xadd #Ev, #Gv", "%u", "%u", "%u", "%u", "%u", "@gi",
  "bswap @eax", "bswap @ecx", "bswap @edx", "bswap @ebx", "bswap @esp", "bswap @ebp", "bswap @esi", "bswap @edi",
  // D0
  "%u", "psrlw #Pq, #Qq", "psrld #Pq, #Qq", "psrlq #Pq, #Qq", "%u", "pmullw #Pq, #Qq", "%u", "%u",
  "psubusb #Pq, #Qq", "psubusw #Pq, #Qq", "%u", "pand #Pq, #Qq", "paddusb #Pq, #Qq", "paddusw #Pq, #Qq", "%u", "pandn #Pq, #Qq",
  // E0
  "%u", "psraw #Pq, #Qq", "psrad #Pq, #Qq", "%u", "%u", "pmulhw #Pq, #Qq", "%u", "%u",
  "psubsb #Pq, #Qq", "psubsw #Pq, #Qq", "%u", "por #Pq, #Qq", "paddsb #Pq, #Qq", "paddsw #Pq, #Qq", "%u", "pxor #Pq, #Qq",
  // F0
  "%u", "psllw #Pq, #Qq", "pslld #Pq, #Qq", "psllq #Pq, #Qq", "%u", "pmaddwd #Pq, #Qq", "%u", "%u",
  "psubb #Pq, #Qq", "psubw #Pq, #Qq", "psubd #Pq, #Qq", "%u", "paddb #Pq, #Qq", "paddw #Pq, #Qq", "paddd #Pq, #Qq", "ud0 #Gv, #Ev",
};

// Groups a..l by the reg field; "" is no instruction.
const char* const kGroups[12][8] = {
  {"add", "or", "adc", "sbb", "and", "sub", "xor", "cmp"},                          // a: 80-83
  {"rol", "ror", "rcl", "rcr", "shl", "shr", "", "sar"},                            // b: shifts
  {"test", "test", "not", "neg", "mul", "imul", "div", "idiv"},                     // c: F6/F7
  {"inc", "dec", "", "", "", "", "", ""},                                           // d: FE
  {"inc", "dec", "call", "call", "jmp", "jmp", "push", ""},                         // e: FF
  {"sldt #Ey", "str #Ey", "lldt #Ew", "ltr #Ew", "verr #Ew", "verw #Ew", "", ""},  // f: 0F 00
  {"sgdt #Ms", "sidt #Ms", "lgdt #Ms", "lidt #Ms", "smsw #Ey", "", "lmsw #Ew", "invlpg #Mb"},  // g: 0F 01
  {"", "", "", "", "bt", "bts", "btr", "btc"},                                      // h: 0F BA
  {"", "cmpxchg8b #Mq", "", "", "", "", "%u", "%u"},                                // i: 0F C7
  {"", "", "psrl", "", "psra", "", "psll", ""},                                     // j: 0F 71-73 (register only)
  {"mov", "", "", "", "", "", "", ""},                                              // k: C6/C7
  {"pop", "", "", "", "", "", "", ""},                                              // l: 8F
};

// Operand tails of F6, F7, FE and FF by the reg field.
const char* const kTails[4][8] = {
  {", #Ib", ", #Ib", "", "", "", "", "", ""},
  {", #Iv", ", #Iv", "", "", "", "", "", ""},
  {"#Eb", "#Eb", "", "", "", "", "", ""},
  {"#Ev", "#Ev", "#Ev", "#Mp", "#Ev", "#Mp", "#Ev", ""},
};

// x87 memory forms, escape D8..DF by the reg field.
const char* const kFpuMemory[8][8] = {
  {"fadd #Md", "fmul #Md", "fcom #Md", "fcomp #Md", "fsub #Md", "fsubr #Md", "fdiv #Md", "fdivr #Md"},
  {"fld #Md", "", "fst #Md", "fstp #Md", "fldenv #M ", "fldcw #Mw", "fnstenv #M ", "fnstcw #Mw"},
  {"fiadd #Md", "fimul #Md", "ficom #Md", "ficomp #Md", "fisub #Md", "fisubr #Md", "fidiv #Md", "fidivr #Md"},
  {"fild #Md", "%u", "fist #Md", "fistp #Md", "", "fld #Mt", "", "fstp #Mt"},
  {"fadd #Mq", "fmul #Mq", "fcom #Mq", "fcomp #Mq", "fsub #Mq", "fsubr #Mq", "fdiv #Mq", "fdivr #Mq"},
  {"fld #Mq", "%u", "fst #Mq", "fstp #Mq", "frstor #M ", "", "fnsave #M ", "fnstsw #Mw"},
  {"fiadd #Mw", "fimul #Mw", "ficom #Mw", "ficomp #Mw", "fisub #Mw", "fisubr #Mw", "fidiv #Mw", "fidivr #Mw"},
  {"fild #Mw", "%u", "fist #Mw", "fistp #Mw", "fbld #Mt", "fild #Mq", "fbstp #Mt", "fistp #Mq"},
};
// clang-format on

// x87 register forms (ModR/M C0..FF) by escape and reg field: "%d" stands for the r/m
// register number, "" is no instruction, "=" a row of single instructions (FpuSingle).
const char* const kFpuRows[8][8] = {
  // D8
  {"fadd st(0), st(%d)", "fmul st(0), st(%d)", "fcom st(%d)", "fcomp st(%d)",
   "fsub st(0), st(%d)", "fsubr st(0), st(%d)", "fdiv st(0), st(%d)", "fdivr st(0), st(%d)"},
  // D9: rows 2, 4..7 are single instructions (kFpuSingleD9)
  {"fld st(%d)", "fxch st(%d)", "=", "", "=", "=", "=", "="},
  // DA
  {"fcmovb st(0), st(%d)", "fcmove st(0), st(%d)", "fcmovbe st(0), st(%d)", "fcmovu st(0), st(%d)",
   "", "=", "", ""},
  // DB
  {"fcmovnb st(0), st(%d)", "fcmovne st(0), st(%d)", "fcmovnbe st(0), st(%d)", "fcmovnu st(0), st(%d)",
   "=", "fucomi st(0), st(%d)", "fcomi st(0), st(%d)", ""},
  // DC
  {"fadd st(%d), st(0)", "fmul st(%d), st(0)", "", "", "fsubr st(%d), st(0)", "fsub st(%d), st(0)",
   "fdivr st(%d), st(0)", "fdiv st(%d), st(0)"},
  // DD
  {"ffree st(%d)", "", "fst st(%d)", "fstp st(%d)", "fucom st(%d)", "fucomp st(%d)", "", ""},
  // DE
  {"faddp st(%d), st(0)", "fmulp st(%d), st(0)", "", "=", "fsubrp st(%d), st(0)", "fsubp st(%d), st(0)",
   "fdivrp st(%d), st(0)", "fdivp st(%d), st(0)"},
  // DF
  {"ffreep st(%d)", "", "", "", "=", "fucomip st(0), st(%d)", "fcomip st(0), st(%d)", ""},
};

// Register forms without an st(i) operand, by escape and ModR/M.
const char* FpuSingle(int escape, uint8_t modrm) {
  switch (escape * 256 + modrm) {
    case 1 * 256 + 0xD0: return "fnop";
    case 1 * 256 + 0xE0: return "fchs";
    case 1 * 256 + 0xE1: return "fabs";
    case 1 * 256 + 0xE4: return "ftst";
    case 1 * 256 + 0xE5: return "fxam";
    case 1 * 256 + 0xE8: return "fld1";
    case 1 * 256 + 0xE9: return "fldl2t";
    case 1 * 256 + 0xEA: return "fldl2e";
    case 1 * 256 + 0xEB: return "fldpi";
    case 1 * 256 + 0xEC: return "fldlg2";
    case 1 * 256 + 0xED: return "fldln2";
    case 1 * 256 + 0xEE: return "fldz";
    case 1 * 256 + 0xF0: return "f2xm1";
    case 1 * 256 + 0xF1: return "fyl2x";
    case 1 * 256 + 0xF2: return "fptan";
    case 1 * 256 + 0xF3: return "fpatan";
    case 1 * 256 + 0xF4: return "fxtract";
    case 1 * 256 + 0xF5: return "fprem1";
    case 1 * 256 + 0xF6: return "fdecstp";
    case 1 * 256 + 0xF7: return "fincstp";
    case 1 * 256 + 0xF8: return "fprem";
    case 1 * 256 + 0xF9: return "fyl2xp1";
    case 1 * 256 + 0xFA: return "fsqrt";
    case 1 * 256 + 0xFB: return "fsincos";
    case 1 * 256 + 0xFC: return "frndint";
    case 1 * 256 + 0xFD: return "fscale";
    case 1 * 256 + 0xFE: return "fsin";
    case 1 * 256 + 0xFF: return "fcos";
    case 2 * 256 + 0xE9: return "fucompp";
    case 3 * 256 + 0xE0: return "fneni";
    case 3 * 256 + 0xE1: return "fndisi";
    case 3 * 256 + 0xE2: return "fnclex";
    case 3 * 256 + 0xE3: return "fninit";
    case 3 * 256 + 0xE4: return "fnsetpm";
    case 3 * 256 + 0xE5: return "frstpm";
    case 6 * 256 + 0xD9: return "fcompp";
    case 7 * 256 + 0xE0: return "fnstsw ax";
    default: return "";
  }
}

const char* const kReg8[8] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
const char* const kReg16[8] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
const char* const kReg32[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
const char* const kSeg[6] = {"es", "cs", "ss", "ds", "fs", "gs"};
const char* const kMem16[8] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};

constexpr uint32_t kMaxLength = 15;

constexpr TDisAsm kPlain{};  // no callbacks: a trial decoding tells no one

enum class TFailure { None, NoInstruction, Outside };

// One decoding: the template expander's state.
class TDecoder {
 public:
  TDecoder(const TDisAsm& owner, const uint8_t* code, size_t count, uint32_t address)
      : owner_(owner), code_(code), count_(count < kMaxLength ? count : kMaxLength), address_(address) {}

  void Run(uint32_t& length, std::string& text);

 private:
  // The DB line of a failed decoding: the instruction as the hook engine measures
  // it when outside the coverage, else the bytes read.
  void WriteDB(uint32_t& length, std::string& text) const;

  struct TPlaceholder {
    size_t At;
    uint32_t Size;
  };

  bool Next(uint8_t& b) {
    if (pos_ >= count_) return Fail(TFailure::NoInstruction);
    b = code_[pos_++];
    return true;
  }
  bool Fail(TFailure f) {
    if (failure_ == TFailure::None) failure_ = f;
    return false;
  }
  bool ReadModRM() {
    if (hasModRM_) return true;
    if (!Next(modrm_)) return false;
    hasModRM_ = true;
    return true;
  }
  bool ReadValue(uint32_t size, uint32_t& value) {
    value = 0;
    for (uint32_t i = 0; i < size; ++i) {
      uint8_t b;
      if (!Next(b)) return false;
      value |= static_cast<uint32_t>(b) << (8 * i);
    }
    return true;
  }
  uint8_t Mod() const { return modrm_ >> 6; }
  uint8_t Reg() const { return (modrm_ >> 3) & 7; }
  uint8_t Rm() const { return modrm_ & 7; }

  bool Instruction(uint8_t b);
  bool Expand(const char* t);
  bool Operand(char method, char size, char kind);
  bool Code(const char*& t);
  bool Memory(uint32_t size);
  void PadMnemonic();
  uint32_t SizeOf(char letter) const;
  std::string Register(uint8_t number, uint32_t size) const;
  std::string Hex(uint32_t value, uint32_t digits) const;
  std::string Signed(uint32_t value, uint32_t bytes) const;
  std::string AddressValue(uint32_t value, uint32_t position, uint32_t digits);
  TDisAsmOperand Describe(uint32_t value, uint32_t size, uint32_t position) const;
  void Call(TDisAsmCallback cb, const TDisAsmOperand& op, std::string& text) const {
    if (cb != nullptr) cb(owner_.Data, op, text);
  }

  const TDisAsm& owner_;
  const uint8_t* code_;
  size_t count_;
  uint32_t address_;
  size_t pos_ = 0;
  uint32_t operandSize_ = 4, addressSize_ = 4;
  int segment_ = -1;
  bool hasModRM_ = false;
  uint8_t modrm_ = 0;
  uint8_t opcode_ = 0;  // the last opcode byte read (the one after 0F for two-byte)
  bool twoByte_ = false;
  bool operand66_ = false;
  bool sizeFlag_ = true;
  bool padded_ = false;
  TFailure failure_ = TFailure::None;
  std::string out_;
  std::string lockRep_;  // lock / rep / repne met after another prefix
  bool repSelect_ = false;  // F2 or F3 among them: it may select another instruction
  std::vector<TPlaceholder> placeholders_;
};

uint32_t TDecoder::SizeOf(char letter) const {
  switch (letter) {
    case 'b': return 1;
    case 'w': return 2;
    case 'd': return 4;
    case 'q': return 8;
    case 's': return 6;
    case 't': return 10;
    case 'v': case 'y': return operandSize_;
    case 'c': return operandSize_ == 2 ? 1 : 2;
    case 'a': return operandSize_ == 2 ? 4 : 8;
    case 'p': return operandSize_ + 2;
    default: return 0;
  }
}

std::string TDecoder::Register(uint8_t number, uint32_t size) const {
  if (size == 1) return kReg8[number & 7];
  if (size == 2) return kReg16[number & 7];
  return kReg32[number & 7];
}

std::string TDecoder::Hex(uint32_t value, uint32_t digits) const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.*X", static_cast<int>(digits), value);
  return buf;
}

std::string TDecoder::Signed(uint32_t value, uint32_t bytes) const {
  const uint32_t bits = 8 * bytes;
  const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
  value &= mask;
  const bool negative = (value >> (bits - 1)) & 1;
  const uint32_t magnitude = negative ? ((~value + 1) & mask) : value;
  return std::string(negative ? "-$" : "+$") + Hex(magnitude, 2 * bytes);
}

TDisAsmOperand TDecoder::Describe(uint32_t value, uint32_t size, uint32_t position) const {
  TDisAsmOperand op;
  op.InstructionAddress = address_;
  op.Value = value;
  op.Size = size;
  op.Position = position;
  return op;
}

std::string TDecoder::AddressValue(uint32_t value, uint32_t position, uint32_t digits) {
  std::string text = "$" + Hex(value, digits);
  Call(owner_.OnAddress, Describe(value, 4, position), text);
  return text;
}

void TDecoder::PadMnemonic() {
  if (padded_) {
    out_ += ' ';
    return;
  }
  padded_ = true;
  if (out_.size() < 8)
    out_.append(8 - out_.size(), ' ');
  else
    out_ += ' ';
}

bool TDecoder::Memory(uint32_t size) {
  if (size != 4 && size != 0) sizeFlag_ = true;
  placeholders_.push_back({out_.size(), size});
  std::string text;
  if (segment_ >= 0) text = std::string(kSeg[segment_]) + ":";
  const uint8_t mod = Mod(), rm = Rm();
  if (addressSize_ == 2) {
    if (mod == 0 && rm == 6) {
      uint32_t disp;
      const uint32_t at = static_cast<uint32_t>(pos_);
      if (!ReadValue(2, disp)) return false;
      text += "[" + AddressValue(disp, at, 4) + "]";
    } else {
      text += "[";
      text += kMem16[rm];
      if (mod == 1) {
        uint32_t disp;
        if (!ReadValue(1, disp)) return false;
        text += Signed(disp, 1);
      } else if (mod == 2) {
        uint32_t disp;
        if (!ReadValue(2, disp)) return false;
        text += "+$" + Hex(disp, 4);
      }
      text += "]";
    }
  } else {
    int base = rm, index = -1, scale = 0;
    if (rm == 4) {
      uint8_t sib;
      if (!Next(sib)) return false;
      base = sib & 7;
      index = (sib >> 3) & 7;
      scale = sib >> 6;
      if (index == 4) index = -1;
    }
    bool disp32 = mod == 2;
    if (mod == 0 && base == 5) {
      base = -1;
      disp32 = true;
    }
    std::string inside;
    if (base >= 0) inside = kReg32[base];
    if (index >= 0) {
      if (!inside.empty()) inside += "+";
      inside += kReg32[index];
      if (scale > 0) inside += "*" + std::to_string(1 << scale);
    }
    if (mod == 1) {
      uint32_t disp;
      if (!ReadValue(1, disp)) return false;
      inside += Signed(disp, 1);
    } else if (disp32) {
      uint32_t disp;
      const uint32_t at = static_cast<uint32_t>(pos_);
      if (!ReadValue(4, disp)) return false;
      if (inside.empty())
        inside = AddressValue(disp, at, 8);
      else
        inside += "+" + AddressValue(disp, at, 4);
    }
    text += "[" + inside + "]";
  }
  TDisAsmOperand op = Describe(0, size, 0);
  Call(owner_.OnMemory, op, text);
  out_ += text;
  return true;
}

bool TDecoder::Operand(char method, char sizeLetter, char kind) {
  const uint32_t size = SizeOf(sizeLetter);
  if (sizeLetter == ' ') sizeFlag_ = false;
  switch (method) {
    case 'G':
      if (!ReadModRM()) return false;
      out_ += Register(Reg(), size);
      sizeFlag_ = false;
      return true;
    case 'E':
    case 'M':
      if (!ReadModRM()) return false;
      if (Mod() == 3) {
        if (method == 'M') return Fail(TFailure::NoInstruction);
        out_ += Register(Rm(), size);
        return true;
      }
      return Memory(sizeLetter == 'y' ? 2 : size);
    case 'R':
      // Always the r/m register: moves to and from control and debug registers
      // ignore the mod bits.
      if (!ReadModRM()) return false;
      out_ += Register(Rm(), size);
      return true;
    case 'S':
      if (!ReadModRM()) return false;
      if (Reg() > 5) return Fail(TFailure::NoInstruction);
      out_ += kSeg[Reg()];
      return true;
    case 'C':
    case 'D':
    case 'T':
      if (!ReadModRM()) return false;
      sizeFlag_ = false;
      if (sizeLetter != 'd' && method != 'T') {
        out_ += "???";
        return true;
      }
      out_ += method;
      out_ += std::to_string(Reg());
      return true;
    case 'P':
    case 'Q':
      if (!ReadModRM()) return false;
      if (method == 'Q' && Mod() != 3) return Memory(size);
      sizeFlag_ = false;
      out_ += "MM" + std::to_string(method == 'P' ? Reg() : Rm());
      return true;
    case 'I':
    case 'H': {
      const uint32_t at = static_cast<uint32_t>(pos_);
      uint32_t value;
      if (!ReadValue(size, value)) return false;
      std::string text = method == 'I' ? "$" + Hex(value, 2 * size) : Signed(value, size);
      TDisAsmOperand op = Describe(value, size, at);
      op.Signed = method == 'H';
      Call(owner_.OnImmediate, op, text);
      out_ += text;
      return true;
    }
    case 'J': {
      const uint32_t at = static_cast<uint32_t>(pos_);
      uint32_t disp;
      if (!ReadValue(size, disp)) return false;
      uint32_t target = address_ + static_cast<uint32_t>(pos_);
      if (size == 1)
        target += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(disp)));
      else if (size == 2)
        target += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(disp)));
      else
        target += disp;
      if (operandSize_ == 2) target &= 0xFFFF;
      std::string text = Signed(disp, size);
      const TDisAsmOperand op = Describe(target, size, at);
      if (kind == 'j') Call(owner_.OnJump, op, text);
      if (kind == 'c') Call(owner_.OnCall, op, text);
      out_ += text;
      return true;
    }
    case 'O': {
      const uint32_t at = static_cast<uint32_t>(pos_);
      uint32_t offset;
      if (!ReadValue(addressSize_, offset)) return false;
      std::string text;
      if (segment_ >= 0) text = std::string(kSeg[segment_]) + ":";
      if (addressSize_ == 2)
        text += "[$" + Hex(offset, 4) + "]";
      else
        text += "[" + AddressValue(offset, at, 4) + "]";
      Call(owner_.OnMemory, Describe(offset, size, at), text);
      out_ += text;
      return true;
    }
    case 'A': {
      const uint32_t at = static_cast<uint32_t>(pos_);
      uint32_t offset, selector;
      if (!ReadValue(operandSize_, offset) || !ReadValue(2, selector)) return false;
      out_ += "$" + Hex(selector, 4) + ":";
      out_ += operandSize_ == 4 ? AddressValue(offset, at, 4) : "$" + Hex(offset, 4);
      return true;
    }
    case 'F':
    case 'L':
      return true;
    default:
      return Fail(TFailure::NoInstruction);
  }
}

// One "@" code at `t` (pointing at the "@"); advances `t` past it.
bool TDecoder::Code(const char*& t) {
  const char c = t[1];
  if (c == 'e' && t[2] != 0 && t[3] != 0) {  // @eax ... @edi
    const std::string name(t + 1, 3);
    for (int i = 0; i < 8; ++i)
      if (name == kReg32[i]) out_ += operandSize_ == 2 ? kReg16[i] : kReg32[i];
    t += 4;
    return true;
  }
  const char arg = c == 0 ? 0 : t[2];
  t += arg == 0 ? 2 : 3;
  switch (c) {
    case 'p':
    case 's': {
      if (c == 'p') {
        static const char kLetters[] = "ecsdfg";
        for (int i = 0; i < 6; ++i)
          if (kLetters[i] == arg) segment_ = i;
      } else if (arg == 'o') {
        operandSize_ = 2;
        operand66_ = true;
      } else {
        addressSize_ = 2;
      }
      uint8_t b;
      if (!Next(b)) return false;
      t = "";  // the rest of this template gives way to the next byte's
      return Instruction(b);
    }
    case 'c': {
      uint8_t b;
      if (!Next(b)) return false;
      opcode_ = b;
      twoByte_ = true;
      // Under 66, F2 or F3 the MMX opcodes (and wbinvd) are SSE forms or undefined;
      // F3 makes bsf and bsr later instructions, and F2 leaves them undefined.
      const bool mmx = (b >= 0x60 && b <= 0x7F) || (b >= 0xD0 && b <= 0xFE);
      if (((mmx || b == 0x09) && (operand66_ || repSelect_)) || (repSelect_ && (b == 0xBC || b == 0xBD)))
        return Fail(TFailure::Outside);
      return Expand(kTwoByte[b]);
    }
    case 'g': {
      const int group = arg - 'a';
      if (group < 0 || group >= 12 || !ReadModRM()) return Fail(TFailure::NoInstruction);
      if (group == 9 && (Mod() != 3 || (opcode_ == 0x73 && Reg() == 4)))
        return Fail(TFailure::NoInstruction);
      const char* entry = kGroups[group][Reg()];
      if (*entry == 0) return Fail(TFailure::NoInstruction);
      return Expand(entry);
    }
    case 'h': {
      const int tail = arg - '0';
      if (tail < 0 || tail >= 4 || !ReadModRM()) return Fail(TFailure::NoInstruction);
      return Expand(kTails[tail][Reg()]);
    }
    case 'o': {
      const bool w = operandSize_ == 2;
      switch (arg) {
        case '0': out_ += w ? "w" : ""; break;
        case '1': out_ += "b"; break;
        case '2': out_ += w ? "w" : "d"; break;
        case '3': out_ += w ? "wd" : "dq"; break;
        case '4': out_ += w ? "bw" : "wde"; break;
        case '5': out_ += addressSize_ == 2 ? "" : "e"; break;
        default: break;
      }
      return true;
    }
    case 'm':
      t -= arg == 0 ? 0 : 1;
      sizeFlag_ = true;
      return true;
    case 'x': {
      t -= arg == 0 ? 0 : 1;
      const int escape = opcode_ - 0xD8;
      if (!ReadModRM()) return false;
      if (modrm_ < 0xC0) {
        const char* entry = kFpuMemory[escape][Reg()];
        if (*entry == 0) return Fail(TFailure::NoInstruction);
        return Expand(entry);
      }
      const char* row = kFpuRows[escape][Reg()];
      if (*row == '=') row = FpuSingle(escape, modrm_);
      if (*row == 0) return Fail(TFailure::NoInstruction);
      char buf[32];
      std::snprintf(buf, sizeof buf, row, Rm());
      return Expand(buf);
    }
    default:
      return Fail(TFailure::NoInstruction);
  }
}

// The instruction whose opcode (or a lock / rep / repne before it) is `b`, read
// after the prefixes: lock / rep / repne here stay with the instruction.
bool TDecoder::Instruction(uint8_t b) {
  while (b == 0xF0 || b == 0xF2 || b == 0xF3) {
    lockRep_ += b == 0xF0 ? "lock " : b == 0xF2 ? "repne " : "rep ";
    repSelect_ |= b != 0xF0;
    if (!Next(b)) return false;
  }
  opcode_ = b;
  return Expand(kOneByte[b]);
}

bool TDecoder::Expand(const char* t) {
  while (*t != 0) {
    if (t[0] == '#' && t[1] != 0 && t[2] != 0) {
      const char method = t[1], size = t[2];
      char kind = 0;
      t += 3;
      if (method == 'J' && (*t == 'j' || *t == 'c')) kind = *t++;
      if (!Operand(method, size, kind)) return false;
    } else if (t[0] == '@') {
      if (!Code(t)) return false;
    } else if (t[0] == '%') {
      return Fail(t[1] == 'u' ? TFailure::Outside : TFailure::NoInstruction);
    } else if (t[0] == ' ') {
      PadMnemonic();
      ++t;
    } else {
      out_ += *t++;
    }
  }
  return true;
}

void TDecoder::WriteDB(uint32_t& length, std::string& text) const {
  size_t span = pos_;
  if (failure_ == TFailure::Outside) {
    const TInstructionLength measured = InstructionLength(code_, count_);
    if (measured.Ok) span = measured.Length;
  }
  if (span == 0) span = 1;
  text = "DB      $" + Hex(code_[0], 2);
  for (size_t i = 1; i < span; ++i) text += ", $" + Hex(code_[i], 2);
  text += "  //";
  length = static_cast<uint32_t>(span);
}

void TDecoder::Run(uint32_t& length, std::string& text) {
  length = 0;
  text.clear();
  if (code_ == nullptr || count_ == 0) return;
  uint8_t first;
  Next(first);
  opcode_ = first;
  // Prefix templates continue with the next byte; lock / rep / repne as the first
  // byte are lines of their own, unless the instruction they begin is outside the
  // coverage (F3 0F 6F is movdqu, not rep and an MMX move): then one DB spans it.
  if (first == 0xF0 || first == 0xF2 || first == 0xF3) {
    TDecoder trial(kPlain, code_, count_, address_);
    trial.pos_ = 1;
    if (!trial.Instruction(first) && trial.failure_ == TFailure::Outside) {
      trial.WriteDB(length, text);
      return;
    }
  }
  if (!Expand(kOneByte[first])) {
    WriteDB(length, text);
    return;
  }
  // Size placeholders, from the back so earlier positions stay valid.
  for (auto it = placeholders_.rbegin(); it != placeholders_.rend(); ++it) {
    const char* word = "";
    if (sizeFlag_) {
      switch (it->Size) {
        case 1: word = "byte ptr "; break;
        case 2: word = "word ptr "; break;
        case 4: word = "dword ptr "; break;
        case 8: word = "qword ptr "; break;
        case 10: word = "tbyte ptr "; break;
        case 6: case 0: word = ""; break;
        default: word = "byte ptr "; break;
      }
    }
    out_.insert(it->At, word);
  }
  while (!out_.empty() && out_.back() == ' ') out_.pop_back();
  text = lockRep_ + out_;
  length = static_cast<uint32_t>(pos_);
}

}  // namespace

void TDisAsm::Disassemble(const uint8_t* code, size_t count, uint32_t address, uint32_t& length,
                          std::string& text) const {
  TDecoder(*this, code, count, address).Run(length, text);
}

}  // namespace exclog
