// Damaged type libraries: every truncation of the real libraries and random corruption are
// refused with a type library error or, when a change happens to leave a readable library, read
// without going out of bounds (run under the sanitizer preset to see that).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "platform/linux/registry_testing.h"
#include "tests/automation/kinds_library.h"
#include "tests/automation/library_walk.h"
#include "tests/automation/type_library_support.h"

namespace {

using Bytes = std::vector<char>;

Bytes readBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A type library error: facility dispatch, the TYPE_E_ range.
bool isTypeLibraryError(HRESULT hr) {
    return FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_DISPATCH && HRESULT_CODE(hr) >= 0x8000;
}

class DamagedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/gs-damaged-typelib-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        file_ = folder_ / "damaged.tlb";
        // Imports of damaged libraries look in the registry: keep that to a scratch store.
        gs::platform::registry::testing::useStore((folder_ / "registry").c_str());
        glimmerstrand_ = readBytes(GS_TYPE_LIBRARY_PATH);
        kinds_ = readBytes(GS_KINDS_LIBRARY_PATH);
        ASSERT_GT(glimmerstrand_.size(), 0x100u);
        ASSERT_GT(kinds_.size(), 0x100u);
    }
    void TearDown() override {
        gs::platform::registry::testing::useStore(nullptr);
        std::filesystem::remove_all(folder_);
    }

    HRESULT load(const char* data, std::size_t size, ITypeLib** library) {
        std::ofstream(file_, std::ios::binary | std::ios::trunc).write(data, size);
        const gs::test::OleString path = gs::test::ole(file_.c_str());
        return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
    }
    HRESULT load(const Bytes& bytes, ITypeLib** library) {
        return load(bytes.data(), bytes.size(), library);
    }

    Bytes glimmerstrand_;
    Bytes kinds_;

private:
    std::filesystem::path folder_;
    std::filesystem::path file_;
};

TEST_F(DamagedLibrary, EveryTruncationIsRefused) {
    for (const Bytes* bytes : {&glimmerstrand_, &kinds_}) {
        std::size_t accepted = 0;
        for (std::size_t length = 0; length < bytes->size(); ++length) {
            ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
            const HRESULT hr = load(bytes->data(), length, &library);
            if (!isTypeLibraryError(hr) || library != nullptr) {
                ADD_FAILURE() << "length " << length << " of " << bytes->size() << ": " << std::hex
                              << hr;
                if (SUCCEEDED(hr)) {
                    library->Release();
                }
                if (++accepted > 5) {
                    return;
                }
            }
        }
    }
}

TEST_F(DamagedLibrary, RandomDamageIsRefusedOrReadSafely) {
    std::mt19937 random(20261207);
    int refused = 0;
    int readable = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = round % 2 ? kinds_ : glimmerstrand_;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = random() % bytes.size();
            bytes[at] = static_cast<char>(round % 3 ? bytes[at] ^ (1 << (random() % 8))
                                                    : static_cast<char>(random()));
        }
        ITypeLib* library = nullptr;
        const HRESULT hr = load(bytes, &library);
        if (SUCCEEDED(hr)) {
            ++readable;
            gs::test::walkLibrary(library);
            library->Release();
        } else {
            ++refused;
            EXPECT_TRUE(isTypeLibraryError(hr)) << std::hex << hr;
            EXPECT_EQ(library, nullptr);
        }
    }
    // Most single-byte damage falls in names and strings, which stay readable; the rest must
    // have been refused rather than crash.
    EXPECT_GT(refused, 0);
    EXPECT_GT(readable, 0);
}

TEST_F(DamagedLibrary, OtherFormatsHaveTheirOwnCodes) {
    ITypeLib* library = nullptr;
    Bytes older = glimmerstrand_;
    std::memcpy(older.data(), "SLTG", 4);
    EXPECT_EQ(load(older, &library), TYPE_E_UNSUPFORMAT);
    Bytes newer = glimmerstrand_;
    newer[4] = 3;  // format version
    EXPECT_EQ(load(newer, &library), TYPE_E_UNSUPFORMAT);
    EXPECT_EQ(load("", 0, &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(load("not a type library at all", 25, &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
}

TEST_F(DamagedLibrary, ATypeDescriptionThatRefersToItselfIsRefused) {
    // The library's only type description is BSTR* at the start of its segment: {VT_PTR, then
    // the encoded BSTR}. Pointing it at itself makes an endless pointer.
    Bytes looped = glimmerstrand_;
    const std::size_t directory = 0x54 + 4 * 2;  // header, then two type offsets
    std::uint32_t segment = 0;
    std::memcpy(&segment, looped.data() + directory + 9 * 16, 4);
    ASSERT_LT(segment + 8u, looped.size());
    std::uint32_t pointee = 0;
    std::memcpy(&pointee, looped.data() + segment + 4, 4);
    ASSERT_EQ(pointee, 0x80080008u) << "expected BSTR";
    const std::uint32_t self = 0;
    std::memcpy(looped.data() + segment + 4, &self, 4);
    ITypeLib* library = nullptr;
    EXPECT_EQ(load(looped, &library), TYPE_E_INVDATAREAD);
}

}  // namespace
