#include "crash/core/x86/x86_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace crash {
namespace {

InstructionInfo Decode(std::vector<uint8_t> bytes, uint32_t at = 0x401000)
{
    return DecodeInstruction(bytes, at);
}

TEST(X86Decoder, CallsAndJumpsWithTheirTargets)
{
    auto call = Decode({0xE8, 0x10, 0x00, 0x00, 0x00});
    EXPECT_TRUE(call.Valid && call.Call && call.RelTarget);
    EXPECT_EQ(call.Target, 0x401015u);
    EXPECT_EQ(call.TargetField, 0x401001u);
    EXPECT_EQ(call.TargetSize, 4);
    EXPECT_EQ(call.Next, 0x401005u);

    auto shortJump = Decode({0xEB, 0xFE});
    EXPECT_TRUE(shortJump.Jump && shortJump.Enlargeable);
    EXPECT_EQ(shortJump.Target, 0x401000u);
    auto loop = Decode({0xE2, 0x02});
    EXPECT_TRUE(loop.Jump && !loop.Enlargeable);
    auto jcc = Decode({0x0F, 0x84, 0x00, 0x01, 0x00, 0x00});
    EXPECT_EQ(jcc.Opcode, 0x0F84);
    EXPECT_EQ(jcc.Target, 0x401106u);

    // call [0x00405000]: the cell is known, the target isn't.
    auto indirect = Decode({0xFF, 0x15, 0x00, 0x50, 0x40, 0x00});
    EXPECT_TRUE(indirect.Call && !indirect.RelTarget);
    EXPECT_EQ(indirect.TargetMemory, 0x405000u);
    EXPECT_EQ(indirect.Target, 0u);
    auto viaRegister = Decode({0xFF, 0xE0}); // jmp eax
    EXPECT_TRUE(viaRegister.Jump);
    EXPECT_EQ(viaRegister.TargetMemory, 0u);
    auto push = Decode({0xFF, 0x35, 0, 0, 0, 0}); // push [0]: neither
    EXPECT_FALSE(push.Call || push.Jump);
}

TEST(X86Decoder, LengthsOfPrefixesModRmForms)
{
    EXPECT_EQ(Decode({0x66, 0xB8, 0x34, 0x12}).Length, 4);             // mov ax, imm16
    EXPECT_EQ(Decode({0xC7, 0x44, 0x24, 0x08, 1, 0, 0, 0}).Length, 8); // mov [esp+8], imm32
    EXPECT_EQ(Decode({0x8B, 0x04, 0x85, 0, 0, 0, 0}).Length, 7);       // mov eax, [eax*4+disp32]
    EXPECT_EQ(Decode({0x67, 0x8B, 0x06, 0x34, 0x12}).Length, 5);       // 16-bit address [disp16]
    EXPECT_EQ(Decode({0xF6, 0xC1, 0x01}).Length, 3);                   // test cl, 1
    EXPECT_EQ(Decode({0xF6, 0xD9}).Length, 2);                         // neg cl: no immediate
    EXPECT_EQ(Decode({0xC8, 0x10, 0x00, 0x01}).Length, 4);             // enter
    EXPECT_EQ(Decode({0x0F, 0x0F, 0xC1, 0x9E}).Length, 4);             // 3DNow! pfadd
    EXPECT_EQ(Decode({0xF3, 0x0F, 0x10, 0x45, 0xF8}).Length, 5);       // movss xmm0, [ebp-8]
    EXPECT_EQ(Decode({0xDD, 0x5C, 0x24, 0x08}).Length, 4);             // fstp qword [esp+8]
    EXPECT_EQ(Decode({0x9A, 1, 2, 3, 4, 5, 6}).Length, 7);             // call far
}

TEST(X86Decoder, NeverReadsPastTheBufferAndRejectsUnknownOpcodes)
{
    EXPECT_FALSE(Decode({}).Valid);
    EXPECT_FALSE(Decode({0xE8, 0x00, 0x00}).Valid);
    EXPECT_FALSE(Decode({0x0F}).Valid);
    EXPECT_FALSE(Decode({0x8B, 0x04}).Valid); // SIB missing
    EXPECT_FALSE(Decode({0x0F, 0xFF, 0x00}).Valid);
    EXPECT_FALSE(Decode(std::vector<uint8_t>(20, 0x66)).Valid); // only prefixes, past 15 bytes
}

} // namespace
} // namespace crash
