// The simulator's file service on a scratch folder: listings split and read back with
// the viewer's parsers, the single requests, delete of trees with questions and injected
// faults, and every path that would leave the served folder refused.
#include <gtest/gtest.h>

#include "tests/native/agentsim_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filetransfer/messages.h"
#include "tools/agentsim/files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct SimFilesTest : SimSessionTest {
    fs::path base, root, outside;
    SimFiles files;

    void SetUp() override
    {
        SimSessionTest::SetUp();
        char tmpl[] = "/tmp/agentsim-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        base = tmpl;
        root = base / "c";
        outside = base / "outside";
        fs::create_directories(root / "tree" / "sub");
        fs::create_directories(outside);
        Write(outside / "keep.txt");
        Write(root / "tree" / "a.txt");
        Write(root / "tree" / "sub" / "b.txt");
        fs::create_directory_symlink(outside, root / "link");
        for (int i = 0; i < 7; i++)
            Write(root / ("f" + std::to_string(i) + ".txt"));
        const std::string r = root.string();
        const char *roots[kSimFtDrives] = {r.c_str(), nullptr};
        char err[200];
        ASSERT_TRUE(SimFilesInit(&files, roots, 3, err, sizeof err)) << err;
        SimSessionInit(&sess, &opt, key, nullptr, &files);
    }
    void TearDown() override
    {
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(base);
    }
    static void Write(const fs::path &p) { std::ofstream(p) << "data"; }

    SimOutput Send(size_t n, const uint8_t *packet)
    {
        SimOutput out;
        SessPacketHeader h;
        DecodePacketHeader(packet, n, &h);
        Bytes payload(packet + 12, packet + n);
        SimHandlePacket(&sess, &h, payload.data(), &out);
        return out;
    }
    SimOutput List(uint32_t drive, const char *path)
    {
        uint8_t p[300];
        return Send(BuildFtListDir(drive, path, p, sizeof p), p);
    }
    SimOutput Delete(const char *path, int first = 1, int last = 1)
    {
        FtDelete d = {0, (uint32_t)first, (uint32_t)last, 0, ""};
        strcpy(d.path, path);
        uint8_t p[300];
        return Send(BuildFtDelete(&d, p, sizeof p), p);
    }
    SimOutput Answer(int kind)
    {
        uint8_t p[40];
        return Send(BuildFtAnswer(kind, p, sizeof p), p);
    }
    // The reply's packets: their types, and the listing's names read as the viewer reads them.
    static std::vector<uint32_t> Types(const SimOutput &out)
    {
        std::vector<uint32_t> t;
        for (size_t at = 0; at < out.reply.size(); at += 12 + GetU32LE(&out.reply[at + 4]))
            t.push_back(GetU32LE(&out.reply[at]));
        return t;
    }
    static std::vector<std::string> Names(const SimOutput &out, FtListing *head, std::vector<int> *completes)
    {
        std::vector<std::string> names;
        for (size_t at = 0; at < out.reply.size();) {
            SessPacketHeader h;
            DecodePacketHeader(&out.reply[at], out.reply.size() - at, &h);
            const uint8_t *p = &out.reply[at + 12];
            FtListing l;
            const char *why = nullptr;
            const int ok =
                h.dwType == PKT_FT_DIR_LISTING ? ParseFtListing(&h, p, &l, &why) : ParseFtListingMore(&h, p, &l, &why);
            EXPECT_EQ(ok, 1) << (why ? why : "");
            if (h.dwType == PKT_FT_DIR_LISTING)
                *head = l;
            completes->push_back(l.complete);
            const uint8_t *e = l.entries;
            size_t left = l.entriesLen;
            FtEntry entry;
            uint32_t skipped = 0;
            while (FtNextEntry(&e, &left, &entry, &skipped))
                names.push_back(entry.name);
            at += 12 + h.dwDataLen;
        }
        return names;
    }
    uint32_t AttributesOf(const char *folder, const char *name)
    {
        SimOutput out = List(2, folder);
        for (size_t at = 0; at < out.reply.size(); at += 12 + GetU32LE(&out.reply[at + 4])) {
            SessPacketHeader h;
            DecodePacketHeader(&out.reply[at], 12, &h);
            FtListing l;
            const char *why;
            if (!(h.dwType == PKT_FT_DIR_LISTING ? ParseFtListing(&h, &out.reply[at + 12], &l, &why)
                                                 : ParseFtListingMore(&h, &out.reply[at + 12], &l, &why)))
                continue;
            FtEntry e;
            uint32_t skipped = 0;
            while (FtNextEntry(&l.entries, &l.entriesLen, &e, &skipped))
                if (!strcmp(e.name, name))
                    return e.attributes;
        }
        return 0xFFFFFFFF;
    }
};

TEST_F(SimFilesTest, ListingIsSplitAtTheEntryCountAndReadsBack)
{
    FtListing head;
    std::vector<int> completes;
    SimOutput out = List(kFtNoDrive, "");
    std::vector<std::string> names = Names(out, &head, &completes);
    // The link out is not shown; the folder and seven files in three packets of up to three.
    EXPECT_EQ(names,
              (std::vector<std::string>{"f0.txt", "f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt", "f6.txt", "tree"}));
    EXPECT_EQ(completes, (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{30, 31, 31}));
    EXPECT_EQ(head.currentDrive, 2u);
    EXPECT_STREQ(head.path, "C:\\");
    EXPECT_EQ(head.driveTypes[2], kFtDriveFixed);
    EXPECT_EQ(head.driveTypes[3], 0u);
    EXPECT_NE(out.log.find("\"ev\":\"ft_listing\",\"drive\":2,\"path\":\"C:\\\\\",\"entries\":8,\"packets\":3"),
              std::string::npos)
        << out.log;

    completes.clear();
    out = List(2, "C:\\tree");
    EXPECT_EQ(Names(out, &head, &completes), (std::vector<std::string>{"..", "a.txt", "sub"}));
    EXPECT_EQ(completes, (std::vector<int>{1}));
    EXPECT_STREQ(head.path, "C:\\tree");
    // An empty path lists the folder the drive remembers.
    completes.clear();
    out = List(2, "");
    EXPECT_EQ(Names(out, &head, &completes).size(), 3u);
    EXPECT_STREQ(head.path, "C:\\tree");
}

// Each packet of a reply: its type, whether the viewer's parser takes it, complete, count.
struct Sent {
    uint32_t type;
    int ok, complete;
    uint32_t count;
    bool operator==(const Sent &o) const
    {
        return type == o.type && ok == o.ok && complete == o.complete && count == o.count;
    }
};

static std::vector<Sent> Parsed(const std::vector<uint8_t> &bytes)
{
    std::vector<Sent> sent;
    for (size_t at = 0; at + 12 <= bytes.size(); at += 12 + GetU32LE(&bytes[at + 4])) {
        SessPacketHeader h;
        DecodePacketHeader(&bytes[at], 12, &h);
        FtListing l = {};
        const char *why;
        const int ok = h.dwType == PKT_FT_DIR_LISTING ? ParseFtListing(&h, &bytes[at + 12], &l, &why)
                                                      : ParseFtListingMore(&h, &bytes[at + 12], &l, &why);
        sent.push_back({h.dwType, ok, ok ? l.complete : -1,
                        ok ? l.count : GetU32LE(&bytes[at + 12 + (h.dwType == 30 ? 381 : 4)])});
    }
    return sent;
}

TEST_F(SimFilesTest, DamagedAndEndlessListings)
{
    // The second of three packets counts an entry it lacks; the third still follows.
    SimFilesArmDamaged(&files);
    SimOutput out = List(kFtNoDrive, "");
    EXPECT_EQ(Parsed(out.reply), (std::vector<Sent>{{30, 1, 0, 3}, {31, 0, -1, 4}, {31, 1, 1, 2}}));
    EXPECT_NE(out.log.find("\"fault\":\"damaged\""), std::string::npos) << out.log;
    EXPECT_EQ(Parsed(List(kFtNoDrive, "").reply).size(), 3u); // armed for one listing only

    // Endless: no packet completes, and made-up entries follow while the viewer keeps up.
    SimFilesArmEndless(&files, 0);
    out = List(kFtNoDrive, "");
    EXPECT_EQ(Parsed(out.reply), (std::vector<Sent>{{30, 1, 0, 3}, {31, 1, 0, 3}, {31, 1, 0, 2}}));
    std::vector<uint8_t> more;
    std::string log;
    EXPECT_GT(SimFilesListingDue(&files, 0), 0.0);
    SimFilesListingTick(&files, 1.0, 0, &log, &more);
    SimFilesListingTick(&files, 1.0, 0, &log, &more);
    EXPECT_EQ(Parsed(more), (std::vector<Sent>{{31, 1, 0, 3}, {31, 1, 0, 3}}));
    FtListing l;
    const char *why;
    SessPacketHeader h;
    DecodePacketHeader(more.data(), 12, &h);
    ASSERT_TRUE(ParseFtListingMore(&h, more.data() + 12, &l, &why));
    FtEntry e;
    uint32_t skipped = 0;
    ASSERT_TRUE(FtNextEntry(&l.entries, &l.entriesLen, &e, &skipped));
    EXPECT_STREQ(e.name, "endless-0000000008.dat"); // numbered on from the folder's 8
    // A viewer that does not take them holds the stream back.
    more.clear();
    EXPECT_EQ(SimFilesListingDue(&files, 64 * 1024), 0.0);
    SimFilesListingTick(&files, 2.0, 64 * 1024, &log, &more);
    EXPECT_TRUE(more.empty());
    // Any request ends it, counted in one line.
    out = List(kFtNoDrive, "");
    EXPECT_EQ(Parsed(out.reply).back().complete, 1);
    EXPECT_NE(out.log.find("\"ev\":\"ft_endless_stopped\",\"packets\":5,\"entries\":14"), std::string::npos) << out.log;
    SimFilesListingTick(&files, 3.0, 0, &log, &more);
    EXPECT_TRUE(more.empty());
    EXPECT_EQ(SimFilesListingDue(&files, 0), 0.0);
}

TEST_F(SimFilesTest, PathsLeavingTheFolderAreRefused)
{
    const std::string abs = outside.string();
    const char *paths[] = {"C:\\..",
                           "C:\\..\\outside",
                           "C:\\tree\\..\\..\\outside",
                           "C:/../outside",
                           "C:\\link",
                           "C:\\link\\keep.txt",
                           "C:\\link\\new",
                           abs.c_str(),
                           "\\\\host\\share",
                           "C:outside",
                           "E:\\x",
                           "C:\\tree:stream",
                           "C:\\tree\\..",
                           "C:\\tree\\\x01name"};
    for (const char *p : paths) {
        SCOPED_TRACE(p);
        uint8_t packet[600];
        SimOutput out = Send(BuildFtCreateDir(p, packet, sizeof packet), packet);
        EXPECT_NE(out.log.find("\"ev\":\"ft_refused\""), std::string::npos) << out.log;
        EXPECT_NE(out.log.find("\"success\":false"), std::string::npos);
        out = Send(BuildFtRename("C:\\f0.txt", p, 0, packet, sizeof packet), packet);
        EXPECT_NE(out.log.find("\"ev\":\"ft_refused\""), std::string::npos);
        out = Send(BuildFtRename(p, "C:\\moved", 0, packet, sizeof packet), packet);
        EXPECT_NE(out.log.find("\"ev\":\"ft_refused\""), std::string::npos);
        out = Send(BuildFtSetAttributes(1, p, packet, sizeof packet), packet);
        EXPECT_NE(out.log.find("\"ev\":\"ft_refused\""), std::string::npos);
        out = Delete(p);
        EXPECT_NE(out.log.find("\"ev\":\"ft_refused\""), std::string::npos);
        EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ERROR}));
        Answer(FT_ANSWER_NO);
        out = List(2, p);
        EXPECT_NE(out.log.find("\"ev\":\"ft_refused\""), std::string::npos);
        EXPECT_EQ(Types(out).front(), (uint32_t)PKT_FT_DIR_LISTING) << "the viewer still gets a listing";
    }
    // Nothing outside changed, and the link itself is still there.
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    EXPECT_TRUE(fs::is_symlink(root / "link"));
    EXPECT_TRUE(fs::exists(root / "f0.txt"));
}

TEST_F(SimFilesTest, SingleRequestsChangeTheFolderAndKeepAttributes)
{
    uint8_t p[600];
    SimOutput out = Send(BuildFtCreateDir("C:\\new folder", p, sizeof p), p);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_CREATE_DIR_RESULT}));
    EXPECT_EQ(GetU32LE(&out.reply[12]), 1u);
    EXPECT_TRUE(fs::is_directory(root / "new folder"));
    out = Send(BuildFtCreateDir("C:\\new folder", p, sizeof p), p);
    EXPECT_EQ(GetU32LE(&out.reply[12]), 0u);
    EXPECT_STREQ((const char *)&out.reply[16], "Cannot create a file when that file already exists.");

    out = Send(BuildFtSetAttributes(kFtAttrReadOnly | kFtAttrHidden, "C:\\tree\\a.txt", p, sizeof p), p);
    EXPECT_EQ(GetU32LE(&out.reply[12]), 1u);
    EXPECT_EQ(AttributesOf("C:\\tree", "a.txt"), kFtAttrReadOnly | kFtAttrHidden);
    // Renaming the folder takes the kept attributes along.
    out = Send(BuildFtRename("C:\\tree", "C:\\branch", 1, p, sizeof p), p);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_RENAME_RESULT}));
    EXPECT_EQ(GetU32LE(&out.reply[12]), 1u);
    EXPECT_EQ(AttributesOf("C:\\branch", "a.txt"), kFtAttrReadOnly | kFtAttrHidden);
    out = Send(BuildFtRename("C:\\nothing", "C:\\x", 0, p, sizeof p), p);
    EXPECT_EQ(GetU32LE(&out.reply[12]), 0u);
    EXPECT_NE(out.log.find("\"ev\":\"ft_result\",\"op\":\"rename\",\"success\":false"), std::string::npos);
}

TEST_F(SimFilesTest, DeleteOfTreesAsksForReadOnlyItemsAndTakesInjectedFaults)
{
    const char *why;
    ASSERT_TRUE(SimFilesSetAttributes(&files, "C:\\tree\\a.txt", kFtAttrReadOnly, &why));
    ASSERT_TRUE(SimFilesSetAttributes(&files, "C:\\tree\\sub\\b.txt", kFtAttrReadOnly, &why));
    ASSERT_TRUE(SimFilesSetAttributes(&files, "C:\\f1.txt", kFtAttrReadOnly, &why));

    // Yes to the first question, then No to the second: the item stops there.
    SimOutput out = Delete("C:\\tree");
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_CONFIRM_DELETE}));
    FtQuestion q;
    SessPacketHeader h;
    DecodePacketHeader(out.reply.data(), out.reply.size(), &h);
    ASSERT_EQ(ParseFtQuestion(&h, &out.reply[12], &q, &why), 1);
    EXPECT_STREQ(q.path, "C:\\tree\\a.txt");
    EXPECT_EQ(q.attributes, kFtAttrReadOnly);
    out = Answer(FT_ANSWER_YES);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_CONFIRM_DELETE}));
    EXPECT_FALSE(fs::exists(root / "tree" / "a.txt"));
    out = Answer(FT_ANSWER_NO);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ACK}));
    EXPECT_EQ(GetU32LE(&out.reply[16]), 0u) << "a stopping acknowledgement";
    EXPECT_TRUE(fs::exists(root / "tree" / "sub" / "b.txt"));

    // Yes to all: the rest of the operation asks no more.
    out = Delete("C:\\tree", 1, 0);
    out = Answer(FT_ANSWER_YES_TO_ALL);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ACK}));
    EXPECT_EQ(GetU32LE(&out.reply[16]), 1u);
    EXPECT_FALSE(fs::exists(root / "tree"));
    out = Delete("C:\\f1.txt", 0, 1);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ACK}));
    EXPECT_FALSE(fs::exists(root / "f1.txt"));

    // An injected error: retry runs the item; a stop ends the next one at once.
    SimFilesArmError(&files, 6);
    out = Delete("C:\\f2.txt");
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ERROR}));
    EXPECT_EQ(GetU32LE(&out.reply[12]), 6u);
    EXPECT_TRUE(fs::exists(root / "f2.txt"));
    out = Answer(FT_ANSWER_YES);
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ACK}));
    EXPECT_FALSE(fs::exists(root / "f2.txt"));
    SimFilesArmStop(&files);
    out = Delete("C:\\f3.txt");
    EXPECT_EQ(Types(out), (std::vector<uint32_t>{PKT_FT_ACK}));
    EXPECT_EQ(GetU32LE(&out.reply[16]), 0u);
    EXPECT_TRUE(fs::exists(root / "f3.txt"));

    // Out of turn: an answer with no question, a request while one is open.
    out = Answer(FT_ANSWER_YES);
    EXPECT_NE(out.log.find("PKT_FT_ANSWER with no question open"), std::string::npos);
    EXPECT_TRUE(out.reply.empty());
    ASSERT_TRUE(SimFilesSetAttributes(&files, "C:\\f4.txt", kFtAttrReadOnly, &why));
    Delete("C:\\f4.txt");
    out = List(2, "");
    EXPECT_NE(out.log.find("while a question is open"), std::string::npos);
    EXPECT_TRUE(out.reply.empty());
}

} // namespace
