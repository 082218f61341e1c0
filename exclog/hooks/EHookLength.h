#pragma once
// Instruction-length decoding for 32-bit x86 code: how many bytes the instruction at a
// given place takes. The hook engine uses it to know which whole instructions an inline
// patch displaces; the call-stack code uses Routine size to bound a routine.
#include <cstddef>
#include <cstdint>

namespace exclog {

// One decoded instruction. When Ok is false the bytes were not decodable (an undefined
// opcode, a form outside the decoder's maps, more than 15 bytes, or more bytes needed
// than the limit allows); callers then usually step over one byte.
struct TInstructionLength {
  bool Ok = false;
  uint32_t Length = 0;       // whole instruction, prefixes included
  uint32_t PrefixCount = 0;  // prefix bytes in front of the opcode
  bool TwoByteOpcode = false;  // opcode introduced by 0F
  uint8_t Opcode = 0;        // the opcode byte (the one after 0F for two-byte opcodes)
  bool OperandSize16 = false;  // a 66 prefix was present
  bool AddressSize16 = false;  // a 67 prefix was present
};

// True for the prefix bytes the decoder steps over: 26 2E 36 3E 64 65 66 67 F0 F2 F3.
bool IsPrefixByte(uint8_t b);

// Decodes the instruction at `code`, reading at most `limit` bytes (never more).
TInstructionLength InstructionLength(const uint8_t* code, size_t limit);

// Number of bytes from `start` up to and including the first return instruction
// (C2, C3, CA, CB); 0 when `limit` is 0; `limit` when none is met within it. An
// undecodable byte counts as one byte. Reads at most `limit` bytes.
uint32_t RoutineSize(const uint8_t* start, uint32_t limit);

}  // namespace exclog
