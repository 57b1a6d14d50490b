#include "crash/core/x86/x86_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace crash {
namespace {

std::string Text(std::vector<uint8_t> bytes, uint32_t address = 0x401000)
{
    TInstructionParts parts;
    const InstructionInfo info = DecodeInstruction(bytes, address, parts);
    EXPECT_TRUE(info.Valid);
    EXPECT_EQ(info.Length, bytes.size());
    return InstructionLine(InstructionText(bytes, info, parts));
}

TEST(X86Text, GeneralInstructionsAndTheirOperands)
{
    EXPECT_EQ(Text({0x55}), "push ebp");
    EXPECT_EQ(Text({0x89, 0xE5}), "mov ebp,esp");
    EXPECT_EQ(Text({0x8B, 0x45, 0x08}), "mov eax,DWORD PTR [ebp+0x8]");
    EXPECT_EQ(Text({0x8B, 0x44, 0x24, 0xFC}), "mov eax,DWORD PTR [esp-0x4]");
    EXPECT_EQ(Text({0x8D, 0x04, 0x8D, 0x00, 0x10, 0x40, 0x00}), "lea eax,[ecx*4+0x401000]");
    EXPECT_EQ(Text({0xA1, 0x00, 0x20, 0x40, 0x00}), "mov eax,ds:0x402000");
    EXPECT_EQ(Text({0x64, 0xA1, 0x00, 0x00, 0x00, 0x00}), "mov eax,fs:0x0");
    EXPECT_EQ(Text({0x64, 0x8B, 0x00}), "mov eax,DWORD PTR fs:[eax]");
    EXPECT_EQ(Text({0x83, 0xE4, 0xF0}), "and esp,0xfffffff0");
    EXPECT_EQ(Text({0x66, 0x83, 0xC0, 0xFF}), "add ax,0xffff");
    EXPECT_EQ(Text({0x6A, 0xFF}), "push 0xffffffff");
    EXPECT_EQ(Text({0xC7, 0x45, 0xFC, 0x01, 0x00, 0x00, 0x00}), "mov DWORD PTR [ebp-0x4],0x1");
    EXPECT_EQ(Text({0xF7, 0xD8}), "neg eax");
    EXPECT_EQ(Text({0xF6, 0x45, 0x08, 0x01}), "test BYTE PTR [ebp+0x8],0x1");
    EXPECT_EQ(Text({0xD1, 0xE0}), "shl eax,1");
    EXPECT_EQ(Text({0xD3, 0xF8}), "sar eax,cl");
    EXPECT_EQ(Text({0x0F, 0xB6, 0xC0}), "movzx eax,al");
    EXPECT_EQ(Text({0x0F, 0xBF, 0x45, 0x08}), "movsx eax,WORD PTR [ebp+0x8]");
    EXPECT_EQ(Text({0x0F, 0x94, 0xC0}), "sete al");
    EXPECT_EQ(Text({0x0F, 0x4C, 0xC1}), "cmovl eax,ecx");
    EXPECT_EQ(Text({0xC8, 0x08, 0x00, 0x01}), "enter 0x8,0x1");
    EXPECT_EQ(Text({0x9A, 0x78, 0x56, 0x34, 0x12, 0x08, 0x00}), "call 0x8:0x12345678");
    EXPECT_EQ(Text({0x67, 0x8B, 0x40, 0x02}), "mov eax,DWORD PTR [bx+si+0x2]");
    EXPECT_EQ(Text({0x66, 0x0F, 0x1F, 0x44, 0x00, 0x00}), "nop WORD PTR [eax+eax*1+0x0]");
    EXPECT_EQ(Text({0x66, 0x90}), "xchg ax,ax");
    EXPECT_EQ(Text({0xF3, 0x90}), "pause");
    EXPECT_EQ(Text({0x98}), "cwde");
    EXPECT_EQ(Text({0x66, 0x99}), "cwd");
    EXPECT_EQ(Text({0xFF, 0x15, 0x00, 0x30, 0x40, 0x00}), "call DWORD PTR ds:0x403000");
    EXPECT_EQ(Text({0xFF, 0x24, 0x85, 0x00, 0x30, 0x40, 0x00}), "jmp DWORD PTR [eax*4+0x403000]");
    EXPECT_EQ(Text({0xFF, 0x1D, 0x00, 0x30, 0x40, 0x00}), "call FWORD PTR ds:0x403000");
}

TEST(X86Text, TargetsPrefixesAndStringInstructions)
{
    EXPECT_EQ(Text({0xE8, 0xFB, 0x0F, 0x00, 0x00}), "call 402000");
    EXPECT_EQ(Text({0x74, 0xFE}), "je 401000");
    EXPECT_EQ(Text({0xF3, 0xA4}), "rep movs BYTE PTR es:[edi],BYTE PTR ds:[esi]");
    EXPECT_EQ(Text({0xF2, 0xAE}), "repne scas al,BYTE PTR es:[edi]");
    EXPECT_EQ(Text({0xF0, 0x0F, 0xB1, 0x11}), "lock cmpxchg DWORD PTR [ecx],edx");
    EXPECT_EQ(Text({0x2E, 0xA5}), "movs DWORD PTR es:[edi],DWORD PTR cs:[esi]");
    EXPECT_EQ(Text({0xD7}), "xlat BYTE PTR ds:[ebx]");
}

TEST(X86Text, X87AndItsRegisterForms)
{
    EXPECT_EQ(Text({0xDD, 0x45, 0x08}), "fld QWORD PTR [ebp+0x8]");
    EXPECT_EQ(Text({0xDB, 0x2D, 0x00, 0x10, 0x40, 0x00}), "fld TBYTE PTR ds:0x401000");
    EXPECT_EQ(Text({0xD9, 0x7D, 0xFE}), "fnstcw WORD PTR [ebp-0x2]");
    EXPECT_EQ(Text({0xDF, 0xE0}), "fnstsw ax");
    EXPECT_EQ(Text({0xD9, 0xC9}), "fxch st(1)");
    EXPECT_EQ(Text({0xDE, 0xE9}), "fsubp st(1),st");
    EXPECT_EQ(Text({0xDC, 0xE1}), "fsubr st(1),st");
    EXPECT_EQ(Text({0xD8, 0xC1}), "fadd st,st(1)");
    EXPECT_EQ(Text({0xDF, 0xE9}), "fucomip st,st(1)");
    EXPECT_EQ(Text({0xD9, 0xEE}), "fldz");
}

TEST(X86Text, MmxSseFormsByPrefixAndSuffix)
{
    EXPECT_EQ(Text({0x0F, 0x58, 0xC1}), "addps xmm0,xmm1");
    EXPECT_EQ(Text({0x66, 0x0F, 0x58, 0xC1}), "addpd xmm0,xmm1");
    EXPECT_EQ(Text({0xF3, 0x0F, 0x58, 0x45, 0x08}), "addss xmm0,DWORD PTR [ebp+0x8]");
    EXPECT_EQ(Text({0xF2, 0x0F, 0x10, 0x45, 0x08}), "movsd xmm0,QWORD PTR [ebp+0x8]");
    EXPECT_EQ(Text({0x66, 0x0F, 0x6F, 0x00}), "movdqa xmm0,XMMWORD PTR [eax]");
    EXPECT_EQ(Text({0x0F, 0xEF, 0xC1}), "pxor mm0,mm1");
    EXPECT_EQ(Text({0x0F, 0xC2, 0xC1, 0x01}), "cmpltps xmm0,xmm1");
    EXPECT_EQ(Text({0x0F, 0xC2, 0xC1, 0x09}), "cmpps xmm0,xmm1,0x9");
    EXPECT_EQ(Text({0x66, 0x0F, 0x73, 0xD8, 0x04}), "psrldq xmm0,0x4");
    EXPECT_EQ(Text({0x0F, 0x12, 0xC1}), "movhlps xmm0,xmm1");
    EXPECT_EQ(Text({0xF2, 0x0F, 0x7C, 0xC1}), "haddps xmm0,xmm1");
    EXPECT_EQ(Text({0x0F, 0xAE, 0xF0}), "mfence");
    EXPECT_EQ(Text({0x0F, 0x0F, 0xC1, 0x9E}), "pfadd mm0,mm1");
    // Beyond SSE3: named where known and marked.
    TInstructionParts parts;
    const std::vector<uint8_t> pshufb{0x66, 0x0F, 0x38, 0x00, 0xC1};
    const InstructionInfo info = DecodeInstruction(pshufb, 0, parts);
    const TInstructionText text = InstructionText(pshufb, info, parts);
    EXPECT_TRUE(text.BeyondSse3);
    EXPECT_EQ(InstructionLine(text), "pshufb xmm0,xmm1");
}

TEST(X86Text, InstructionsThatDoNotExistHaveNoText)
{
    for (std::vector<uint8_t> bytes :
         {std::vector<uint8_t>{0xFE, 0xD0}, {0x0F, 0x0F, 0xC1, 0x00}, {0xDB, 0x20}}) {
        TInstructionParts parts;
        const InstructionInfo info = DecodeInstruction(bytes, 0, parts);
        EXPECT_EQ(InstructionText(bytes, info, parts).Mnemonic, "") << int(bytes[0]);
    }
}

} // namespace
} // namespace crash
