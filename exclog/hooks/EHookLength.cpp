#include "exclog/hooks/EHookLength.h"

#include <array>

namespace exclog {

namespace {

// Operand classes, one nibble each: the low nibble of a table entry is the class of the
// one-byte opcode, the high nibble that of the same byte after 0F.
enum : uint8_t {
  kNone = 0,     // no operand bytes
  kImm8 = 1,     // one immediate byte
  kImm16 = 2,    // a 16-bit immediate
  kImm16_8 = 3,  // a 16-bit and an 8-bit immediate (enter)
  kMoffs = 4,    // a 32-bit memory offset (16-bit under 67)
  kImmV = 11,    // a 32-bit immediate (16-bit under 66)
  kPtr = 13,     // a 32-bit pointer with selector (16-bit offset under 66)
  kModRM = 14,   // a ModR/M byte follows
  kBad = 15,     // not decodable
};

constexpr uint8_t N = kNone, I = kImm8, W = kImm16, X = kImm16_8, M = kMoffs, V = kImmV,
                  P = kPtr, R = kModRM, B = kBad;

// clang-format off
constexpr uint8_t kOneByte[256] = {
  // 0 1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
     R, R, R, R, I, V, N, N, R, R, R, R, I, V, N, N,  // 00 (0F is the escape)
     R, R, R, R, I, V, N, N, R, R, R, R, I, V, N, N,  // 10
     R, R, R, R, I, V, N, N, R, R, R, R, I, V, N, N,  // 20 (26, 2E prefixes)
     R, R, R, R, I, V, N, N, R, R, R, R, I, V, N, N,  // 30 (36, 3E prefixes)
     N, N, N, N, N, N, N, N, N, N, N, N, N, N, N, N,  // 40
     N, N, N, N, N, N, N, N, N, N, N, N, N, N, N, N,  // 50
     N, N, R, R, N, N, N, N, V, R, I, R, N, N, N, N,  // 60
     I, I, I, I, I, I, I, I, I, I, I, I, I, I, I, I,  // 70
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // 80
     N, N, N, N, N, N, N, N, N, N, P, N, N, N, N, N,  // 90
     M, M, M, M, N, N, N, N, I, V, N, N, N, N, N, N,  // A0
     I, I, I, I, I, I, I, I, V, V, V, V, V, V, V, V,  // B0
     R, R, W, N, R, R, R, R, X, N, W, N, N, I, N, N,  // C0
     R, R, R, R, I, I, B, N, R, R, R, R, R, R, R, R,  // D0
     I, I, I, I, I, I, I, I, V, V, P, I, N, N, N, N,  // E0
     N, N, N, N, N, N, R, R, N, N, N, N, N, N, R, R,  // F0
};

constexpr uint8_t kTwoByte[256] = {
  // 0 1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
     R, R, R, R, B, N, N, N, N, N, B, N, B, R, N, B,  // 00 (0F 0F: 3DNow!, not covered)
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // 10
     R, R, R, R, R, B, R, B, R, R, R, R, R, R, R, R,  // 20
     N, N, N, N, N, N, B, N, B, B, B, B, B, B, B, B,  // 30 (0F 38, 0F 3A: not covered)
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // 40
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // 50
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // 60
     R, R, R, R, R, R, R, N, R, R, B, B, R, R, R, R,  // 70
     V, V, V, V, V, V, V, V, V, V, V, V, V, V, V, V,  // 80
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // 90
     N, N, N, R, R, R, B, B, N, N, N, R, R, R, R, R,  // A0
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // B0
     R, R, R, R, R, R, R, R, N, N, N, N, N, N, N, N,  // C0
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // D0
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // E0
     R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R,  // F0
};
// clang-format on

// The packed 256-entry table: low nibble one-byte map, high nibble 0F map.
constexpr std::array<uint8_t, 256> MakeOpcodeTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(kOneByte[i] | (kTwoByte[i] << 4));
  return t;
}
constexpr std::array<uint8_t, 256> kOpcodeTable = MakeOpcodeTable();

constexpr uint32_t kMaxInstruction = 15;

// Immediate bytes that follow the ModR/M part of a ModR/M opcode.
uint32_t ModRMImmediate(bool twoByte, uint8_t op, uint8_t modrm, bool operand16) {
  const uint32_t immV = operand16 ? 2 : 4;
  const uint8_t reg = (modrm >> 3) & 7;
  if (!twoByte) {
    switch (op) {
      case 0x80: case 0x82: case 0x83: case 0x6B: case 0xC0: case 0xC1: case 0xC6:
        return 1;
      case 0x81: case 0x69: case 0xC7:
        return immV;
      case 0xF6:
        return reg <= 1 ? 1 : 0;  // test (reg 1 is the processor's alias of reg 0)
      case 0xF7:
        return reg <= 1 ? immV : 0;
      default:
        return 0;
    }
  }
  switch (op) {
    case 0x70: case 0x71: case 0x72: case 0x73: case 0xA4: case 0xAC: case 0xBA:
    case 0xC2: case 0xC4: case 0xC5: case 0xC6:
      return 1;
    default:
      return 0;
  }
}

// Length of the ModR/M byte with its SIB byte and displacement, or 0 when the bytes
// run out.
uint32_t ModRMLength(const uint8_t* p, size_t avail, bool address16) {
  if (avail < 1) return 0;
  const uint8_t modrm = p[0];
  const uint8_t mod = modrm >> 6, rm = modrm & 7;
  uint32_t len = 1;
  if (mod == 3) return len;
  if (address16) {
    if (mod == 1) len += 1;
    else if (mod == 2 || (mod == 0 && rm == 6)) len += 2;
    return len;
  }
  if (rm == 4) {
    if (avail < 2) return 0;
    len += 1;
    if (mod == 0 && (p[1] & 7) == 5) len += 4;
  }
  if (mod == 1) len += 1;
  else if (mod == 2 || (mod == 0 && rm == 5)) len += 4;
  return len;
}

}  // namespace

bool IsPrefixByte(uint8_t b) {
  switch (b) {
    case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65: case 0x66: case 0x67:
    case 0xF0: case 0xF2: case 0xF3:
      return true;
    default:
      return false;
  }
}

TInstructionLength InstructionLength(const uint8_t* code, size_t limit) {
  TInstructionLength r;
  if (code == nullptr) return r;
  const size_t avail = limit < kMaxInstruction ? limit : kMaxInstruction;
  size_t pos = 0;
  while (pos < avail && IsPrefixByte(code[pos])) {
    if (code[pos] == 0x66) r.OperandSize16 = true;
    if (code[pos] == 0x67) r.AddressSize16 = true;
    ++pos;
  }
  r.PrefixCount = static_cast<uint32_t>(pos);
  if (pos >= avail) return r;
  uint8_t op = code[pos++];
  if (op == 0x0F) {
    if (pos >= avail) return r;
    op = code[pos++];
    r.TwoByteOpcode = true;
  }
  r.Opcode = op;
  const uint8_t cls = r.TwoByteOpcode ? kOpcodeTable[op] >> 4 : kOpcodeTable[op] & 0x0F;
  uint32_t rest = 0;
  switch (cls) {
    case kNone: rest = 0; break;
    case kImm8: rest = 1; break;
    case kImm16: rest = 2; break;
    case kImm16_8: rest = 3; break;
    case kMoffs: rest = r.AddressSize16 ? 2 : 4; break;
    case kImmV: rest = r.OperandSize16 ? 2 : 4; break;
    case kPtr: rest = r.OperandSize16 ? 4 : 6; break;
    case kModRM: {
      // Moves to and from control, debug and test registers take the register form
      // whatever the mod bits say.
      if (r.TwoByteOpcode && op >= 0x20 && op <= 0x27) {
        rest = 1;
        break;
      }
      const uint32_t m = ModRMLength(code + pos, avail - pos, r.AddressSize16);
      if (m == 0) return r;
      rest = m + ModRMImmediate(r.TwoByteOpcode, op, code[pos], r.OperandSize16);
      break;
    }
    default:
      return r;
  }
  if (pos + rest > avail) return r;
  r.Ok = true;
  r.Length = static_cast<uint32_t>(pos + rest);
  return r;
}

uint32_t RoutineSize(const uint8_t* start, uint32_t limit) {
  uint32_t pos = 0;
  while (pos < limit) {
    const TInstructionLength ins = InstructionLength(start + pos, limit - pos);
    if (!ins.Ok) {
      ++pos;
      continue;
    }
    pos += ins.Length;
    if (!ins.TwoByteOpcode &&
        (ins.Opcode == 0xC2 || ins.Opcode == 0xC3 || ins.Opcode == 0xCA || ins.Opcode == 0xCB))
      return pos;
  }
  return limit;
}

}  // namespace exclog
