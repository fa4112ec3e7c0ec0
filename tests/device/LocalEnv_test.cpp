#include "device/LocalEnv.h"
#include "device/WideResultBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(LocalEnvPaths, SharedEnvironmentFolderIsOnTheSystemDrive) {
    EXPECT_EQ(SharedEnvFolderFor("C:\\Windows\\system32"), "C:\\Corvane\\WLEnvUpdate\\");
    EXPECT_EQ(SharedEnvFolderFor("D:\\WINNT\\System32"), "D:\\Corvane\\WLEnvUpdate\\");
    EXPECT_EQ(SharedEnvFolderFor("d:"), "d:\\Corvane\\WLEnvUpdate\\");
}

TEST(LocalEnvPaths, CompanyRecordFileIsOnTheWindowsDrive) {
    EXPECT_EQ(CompanyRecordFileFor("C:\\Windows"), "C:\\Corvane\\Common\\ZRCompany.ini");
    EXPECT_EQ(CompanyRecordFileFor("D:\\Windows"), "D:\\Corvane\\Common\\ZRCompany.ini");
}

TEST(LocalEnvPaths, PathWithoutADriveGivesNoFolderRatherThanARelativeOne) {
    // A relative folder would make the program load a library from wherever it was started.
    EXPECT_EQ(SharedEnvFolderFor(""), "");
    EXPECT_EQ(SharedEnvFolderFor("Windows\\system32"), "");
    EXPECT_EQ(SharedEnvFolderFor("\\Windows\\system32"), "");
    EXPECT_EQ(CompanyRecordFileFor(""), "");
    EXPECT_EQ(CompanyRecordFileFor("1:\\x"), "");
}

TEST(LocalEnvPaths, DriveOfUncPathIsServerAndShare) {
    EXPECT_EQ(DriveOf("\\\\srv\\share\\Windows"), "\\\\srv\\share");
    EXPECT_EQ(DriveOf("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(DriveOf("\\\\srv"), "");
    EXPECT_EQ(DriveOf("\\\\srv\\"), "");
    EXPECT_EQ(SharedEnvFolderFor("\\\\srv\\share\\Windows\\system32"),
              "\\\\srv\\share\\Corvane\\WLEnvUpdate\\");
}

TEST(HelpService, DeploymentTextAndSuccessRule) {
    EXPECT_EQ(HelpServiceParams("C:\\App\\Help.exe"), "SvcBin=C:\\App\\Help.exe;EventPlan=180;");
    // Only the low byte of the library's answer counts.
    EXPECT_TRUE(IsServiceCallSuccess(1));
    EXPECT_TRUE(IsServiceCallSuccess(0x1FF));
    EXPECT_TRUE(IsServiceCallSuccess(-1));
    EXPECT_FALSE(IsServiceCallSuccess(0));
    EXPECT_FALSE(IsServiceCallSuccess(0x100));
    EXPECT_FALSE(IsServiceCallSuccess(static_cast<int32_t>(0x80000000u)));
}

TEST(WideResultBuffer, PrefixHoldsTheWholeByteCount) {
    TWideResultBuffer b500(500);
    EXPECT_EQ(b500.Prefix(), 1004u);
    EXPECT_EQ(b500.Capacity(), 500u);
    uint32_t raw = 0;
    std::memcpy(&raw, reinterpret_cast<const char*>(b500.Data()) - 4, 4);
    EXPECT_EQ(raw, 1004u); // right in front of the text, where the library looks
    EXPECT_EQ(TWideResultBuffer(255).Prefix(), 514u);
    EXPECT_EQ(TWideResultBuffer(0).Prefix(), 4u);
    EXPECT_EQ(TWideResultBuffer(0).Text(), u"");
}

TEST(WideResultBuffer, StartsEmptyAndHandsOverTheAddressOfItsTextPointer) {
    TWideResultBuffer b(10);
    EXPECT_EQ(b.Data()[0], u'\0');
    char16_t** slot = b.Slot();
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, b.Data());
    // The library writes through the slot.
    (*slot)[0] = u'O';
    (*slot)[1] = u'K';
    (*slot)[2] = u'\0';
    EXPECT_EQ(b.Text(), u"OK");
    EXPECT_EQ(b.Utf8(), "OK");
}

TEST(WideResultBuffer, InputTextIsTerminatedAndCutToCapacity) {
    TWideResultBuffer b(4, u"abcdef");
    EXPECT_EQ(b.Text(), u"abc");
    EXPECT_EQ(b.Data()[3], u'\0');
    EXPECT_EQ(b.Prefix(), 12u); // the text never spills into the prefix
    b.SetText(u"税号");
    EXPECT_EQ(b.Utf8(), "税号");
    b.SetText(u"");
    EXPECT_EQ(b.Text(), u"");
}

TEST(WideResultBuffer, UnterminatedResultIsReadOnlyUpToCapacity) {
    TWideResultBuffer b(3);
    for (int i = 0; i < 3; ++i)
        b.Data()[i] = u'x';
    EXPECT_EQ(b.Text(), u"xxx");
}

TEST(WideResultBuffer, MovedBufferKeepsItsText) {
    TWideResultBuffer a(8, u"moved");
    TWideResultBuffer b(std::move(a));
    EXPECT_EQ(b.Text(), u"moved");
    EXPECT_EQ(*b.Slot(), b.Data());
    EXPECT_EQ(b.Prefix(), 20u);
}
