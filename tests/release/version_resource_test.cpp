// The DLL's version resource as Windows reads it for the file's properties
// dialog and as installers read it to compare versions.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring widen(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring path = widen(KD_DISTORTION_PATH);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource in " << KD_DISTORTION_PATH << ", error " << GetLastError();
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    }

    std::wstring text(const wchar_t* name) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) {
            return L"(missing)";
        }
        return std::wstring(static_cast<const wchar_t*>(value), length - 1);
    }

    std::vector<unsigned char> block;
};

TEST_F(VersionResource, FixedPartCarriesTheProjectVersionForFileAndProduct) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = (KD_VERSION_MAJOR << 16) | KD_VERSION_MINOR;
    const DWORD low = KD_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high) << std::hex << fixed->dwFileVersionMS;
    EXPECT_EQ(fixed->dwFileVersionLS, low) << std::hex << fixed->dwFileVersionLS;
    EXPECT_EQ(fixed->dwProductVersionMS, high) << std::hex << fixed->dwProductVersionMS;
    EXPECT_EQ(fixed->dwProductVersionLS, low) << std::hex << fixed->dwProductVersionLS;
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "a release DLL is neither debug nor prerelease";
}

TEST_F(VersionResource, TextsNameTheProductVendorAndVersion) {
    const std::wstring version = widen(KD_PROJECT_VERSION);
    const struct {
        const wchar_t* name;
        std::wstring expected;
    } rows[] = {
        {L"ProductName", L"K Distortion"},
        {L"CompanyName", L"Velkaro"},
        {L"FileVersion", version},
        {L"ProductVersion", version},
        {L"OriginalFilename", L"KDistortion.dll"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(text(row.name), row.expected) << "field " << std::string(row.name, row.name + wcslen(row.name));
    }
    EXPECT_NE(text(L"FileDescription"), L"(missing)");
}

}  // namespace
