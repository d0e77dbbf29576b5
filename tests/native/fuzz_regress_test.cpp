// Every seed and every saved reproducer of the fuzz entries, run through the entries
// themselves under this build's ASan and UBSan: a fault fixed once stays fixed. The
// entries abort on a wrong answer, which ends the test binary with the input's name.
#include "agentsettings/settings.h"
#include "console/pending.h"
#include "console/screenbuf.h"
#include "desktop/clipboard.h"
#include "desktop/decode.h"
#include "desktop/palette.h"
#include "desktop/pointer.h"
#include "desktop/screeninfo.h"
#include "desktop/tiles.h"
#include "filetransfer/filestream.h"
#include "filetransfer/messages.h"
#include "filetransfer/paths.h"
#include "filetransfer/sortorder.h"
#include "session/agentkey.h"
#include "session/envelope.h"
#include "session/framer.h"
#include "session/login.h"
#include "tests/fuzz/fuzz_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Each entry in a namespace of its own, its libFuzzer name replaced by a unique one; the
// build lists them from tests/fuzz.
#include CORVID_FUZZ_ENTRIES_FILE

namespace {

namespace fs = std::filesystem;

struct Entry {
    const char *name;
    int (*run)(const uint8_t *, size_t);
};

// Test names come from this: the default would print the pointers, a new name each build.
void PrintTo(const Entry &e, std::ostream *os) { *os << e.name; }

#define X(entry) {#entry, fuzz_##entry::FuzzOne_##entry},
const Entry kEntries[] = {CORVID_FUZZ_ENTRIES};
#undef X

const fs::path kFuzzDir = fs::path(__FILE__).parent_path().parent_path() / "fuzz";

// Runs every file of one folder; returns how many there were.
int RunFolder(const Entry &e, const fs::path &dir)
{
    if (!fs::is_directory(dir))
        return 0;
    int n = 0;
    for (const fs::directory_entry &f : fs::directory_iterator(dir)) {
        std::ifstream in(f.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An exact-size block, as libFuzzer gives it: one byte past it is an ASan report.
        std::unique_ptr<uint8_t[]> block(new uint8_t[bytes.size() ? bytes.size() : 1]);
        if (!bytes.empty())
            memcpy(block.get(), bytes.data(), bytes.size());
        fprintf(stderr, "%s\n", f.path().c_str()); // named in the log if the entry aborts
        EXPECT_EQ(e.run(block.get(), bytes.size()), 0) << f.path();
        n++;
    }
    return n;
}

class FuzzRegress : public ::testing::TestWithParam<Entry> {};

TEST_P(FuzzRegress, SeedsAndReproducersRunClean)
{
    const Entry &e = GetParam();
    EXPECT_GT(RunFolder(e, kFuzzDir / "corpus" / e.name), 0) << "no seeds for " << e.name;
    RunFolder(e, kFuzzDir / "regress" / e.name);
}

INSTANTIATE_TEST_SUITE_P(Entries, FuzzRegress, ::testing::ValuesIn(kEntries),
                         [](const ::testing::TestParamInfo<Entry> &i) { return std::string(i.param.name); });

} // namespace
