// The simulator's side of copying, driven as the viewer drives it: uploads sealed here and
// checked on disk byte for byte, downloads opened here with the receiver's checks, the
// overwrite question, partial files that must vanish, targets outside the served folder,
// and every fault the control channel arms.
#include <gtest/gtest.h>

#include "tests/native/agentsim_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "filetransfer/filestream.h"
#include "filetransfer/messages.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/copy.h"
#include "tools/agentsim/files.h"
#include "tools/agentsim/settings.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const uint64_t kWritten = 126256032001234567ull; // 2001-02-03, with 100-ns ticks
const uint64_t kCreated = 125000000000000000ull;

Bytes Pattern(size_t n, uint8_t salt = 0)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)(i * 13 + i / 509 + salt);
    return b;
}

Bytes ReadAll(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint64_t FileTimeOf(const timespec &t)
{
    return ((uint64_t)t.tv_sec + 11644473600ull) * 10000000ull + (uint64_t)t.tv_nsec / 100;
}

// The packets of a file as the viewer's upload sends them.
std::vector<Bytes> SealedFile(const char *path, const Bytes &data, uint32_t attributes, int first)
{
    FtFileSender s = {};
    FtFileBegin meta = {};
    snprintf(meta.path, sizeof meta.path, "%s", path);
    meta.attributes = attributes;
    meta.created = kCreated;
    meta.written = kWritten;
    meta.first = (uint32_t)first;
    std::vector<Bytes> out;
    size_t at = 0;
    for (int last = 0; !last;) {
        const size_t n = data.size() - at < kFtChunkPlain ? data.size() - at : (size_t)kFtChunkPlain;
        Bytes p(kFtFilePacketMax);
        p.resize(FtSealFilePacket(&s, &meta, data.data() + at, n, p.data(), p.size(), &last));
        EXPECT_FALSE(p.empty());
        if (p.empty())
            break;
        out.push_back(p);
        at += n;
    }
    return out;
}

Bytes FolderBegin(const char *path, uint32_t attributes, int first)
{
    FtFileBegin b = {};
    b.directory = 1;
    snprintf(b.path, sizeof b.path, "%s", path);
    b.attributes = attributes;
    b.first = (uint32_t)first;
    b.last = 1;
    Bytes p(kPacketHeaderSize + kFtFileBeginHead);
    p.resize(BuildFtFileBegin(&b, p.data(), p.size()));
    return p;
}

struct Packet {
    SessPacketHeader h;
    Bytes payload;
};

std::vector<Packet> Packets(const Bytes &bytes)
{
    std::vector<Packet> out;
    for (size_t at = 0; at + kPacketHeaderSize <= bytes.size();) {
        Packet p;
        DecodePacketHeader(&bytes[at], bytes.size() - at, &p.h);
        p.payload.assign(bytes.begin() + (long)at + kPacketHeaderSize,
                         bytes.begin() + (long)(at + kPacketHeaderSize + p.h.dwDataLen));
        out.push_back(p);
        at += kPacketHeaderSize + p.h.dwDataLen;
    }
    return out;
}

// A reply as words: "ack", "stop", "overwrite", "error<kind>", "begin", "data".
std::string Words(const Bytes &reply)
{
    std::string w;
    for (const Packet &p : Packets(reply)) {
        if (!w.empty())
            w += ' ';
        switch (p.h.dwType) {
        case PKT_FT_ACK:
            w += GetU32LE(&p.payload[4]) ? "ack" : "stop";
            break;
        case PKT_FT_CONFIRM_OVERWRITE:
            w += "overwrite";
            break;
        case PKT_FT_ERROR:
            w += "error" + std::to_string(GetU32LE(&p.payload[0]));
            break;
        case PKT_FT_FILE_BEGIN:
            w += "begin";
            break;
        case PKT_FT_FILE_DATA:
            w += "data";
            break;
        default:
            w += std::to_string(p.h.dwType);
        }
    }
    return w;
}

// What a download brought, opened as the viewer opens it.
struct Received {
    std::string relative;
    uint32_t directory, attributes, first;
    uint64_t created, written;
    Bytes data;
    int opened; // every chunk opened and the last one came
};

struct SimCopyTest : SimSessionTest {
    fs::path base, root, outside;
    SimFiles files;
    std::string log; // every line of the test's exchanges

    void SetUp() override
    {
        SimSessionTest::SetUp();
        char tmpl[] = "/tmp/agentsim-copy-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        base = tmpl;
        root = base / "c";
        outside = base / "outside";
        fs::create_directories(root);
        fs::create_directories(outside);
        std::ofstream(outside / "keep.txt") << "outside";
        fs::create_directory_symlink(outside, root / "link");
        const std::string r = root.string();
        const char *roots[kSimFtDrives] = {r.c_str(), nullptr};
        char err[200];
        ASSERT_TRUE(SimFilesInit(&files, roots, 100, err, sizeof err)) << err;
        SimSessionInit(&sess, &opt, key, nullptr, &files);
    }
    void TearDown() override
    {
        SimFilesDisconnect(&files, &log);
        fs::remove_all(base);
    }
    static void Write(const fs::path &p, const Bytes &b)
    {
        std::ofstream(p, std::ios::binary).write((const char *)b.data(), (std::streamsize)b.size());
    }
    // The names in a folder of the served tree, so a left-over temporary file shows.
    std::vector<std::string> Names(const fs::path &dir)
    {
        std::vector<std::string> n;
        for (const auto &e : fs::directory_iterator(dir))
            n.push_back(e.path().filename().string());
        std::sort(n.begin(), n.end());
        return n;
    }

    Bytes Feed(const Bytes &packet)
    {
        SimOutput out;
        SessPacketHeader h;
        DecodePacketHeader(packet.data(), packet.size(), &h);
        const Bytes payload(packet.begin() + kPacketHeaderSize, packet.end());
        SimHandlePacket(&sess, &h, payload.data(), &out);
        log += out.log;
        return out.reply;
    }
    Bytes Answer(int kind)
    {
        Bytes p(kPacketHeaderSize + kFtAnswerLen);
        BuildFtAnswer(kind, p.data(), p.size());
        return Feed(p);
    }
    // Sends the packets one by one as the viewer waits on each; questions and errors get the
    // next of answers. Returns the replies as words.
    std::string Drive(const std::vector<Bytes> &packets, std::vector<int> answers = {})
    {
        std::string t;
        size_t a = 0;
        for (const Bytes &p : packets) {
            std::string w = Words(Feed(p));
            while ((w == "overwrite" || w.rfind("error", 0) == 0) && a < answers.size()) {
                t += w + " ";
                w = Words(Answer(answers[a++]));
            }
            t += w + " ";
            if (w != "ack")
                break;
        }
        return t.substr(0, t.size() - 1);
    }
    // Asks for an item and answers every packet with go on, or with stop at packet stopAt.
    std::vector<Received> Download(const char *folder, const char *name, int directory, std::string *end,
                                   int stopAt = -1, const Bytes *first = nullptr)
    {
        FtDownload d = {};
        d.first = 1;
        d.directory = (uint32_t)directory;
        snprintf(d.folder, sizeof d.folder, "%s", folder);
        snprintf(d.name, sizeof d.name, "%s", name);
        Bytes req(kPacketHeaderSize + 554);
        req.resize(BuildFtDownload(&d, req.data(), req.size()));
        Bytes reply = first ? *first : Feed(req);
        std::vector<Received> got;
        FtFileReceiver rx = {};
        static uint8_t plain[kFtChunkCipherMax + 16];
        for (int n = 0;; n++) {
            const std::vector<Packet> ps = Packets(reply);
            *end = Words(reply);
            if (ps.size() != 1 || (ps[0].h.dwType != PKT_FT_FILE_BEGIN && ps[0].h.dwType != PKT_FT_FILE_DATA))
                return got;
            const Packet &p = ps[0];
            const char *why = nullptr;
            size_t len = 0;
            if (p.h.dwType == PKT_FT_FILE_BEGIN) {
                FtFileBegin b;
                if (!ParseFtFileBegin(&p.h, p.payload.data(), &b, &why)) {
                    got.push_back(Received{"<refused: " + std::string(why) + ">", 0, 0, 0, 0, 0, {}, 0});
                } else {
                    got.push_back(Received{
                        b.path, b.directory, b.attributes, b.first, b.created, b.written, {}, (int)b.directory});
                    if (!b.directory) {
                        got.back().opened = FtOpenFileBegin(&rx, &b, plain, &len, &why) && rx.ended;
                        got.back().data.assign(plain, plain + len);
                    }
                }
            } else {
                FtFileData d;
                if (got.empty() || !ParseFtFileData(&p.h, p.payload.data(), &d, &why)) {
                    got.push_back(Received{"<data refused>", 0, 0, 0, 0, 0, {}, 0});
                } else {
                    got.back().opened = FtOpenFileData(&rx, &d, plain, &len, &why) && rx.ended;
                    got.back().data.insert(got.back().data.end(), plain, plain + len);
                }
            }
            // The socket loop's passes while the viewer holds the packet: the next is sealed.
            for (int i = 0; i < passes; i++) {
                Bytes early;
                SimCopyTick(&files, SimCopyClock(), &early);
                EXPECT_TRUE(early.empty()) << "nothing leaves before the answer";
            }
            reply = Answer(n == stopAt ? FT_ANSWER_NO : FT_ANSWER_GO_ON);
        }
    }
    int passes = 0;
    std::string Line(const char *ev)
    {
        const std::string key = std::string("\"ev\":\"") + ev + "\"";
        size_t at = log.rfind(key);
        if (at == std::string::npos)
            return "";
        at = log.rfind('\n', at);
        at = at == std::string::npos ? 0 : at + 1;
        return log.substr(at, log.find('\n', at) - at);
    }
};

std::string Sha256Hex(const Bytes &b)
{
    uint8_t md[32];
    unsigned n = 0;
    EVP_Digest(b.data(), b.size(), md, &n, EVP_sha256(), nullptr);
    std::string s = "\"";
    for (unsigned i = 0; i < n; i++) {
        char h[3];
        snprintf(h, sizeof h, "%02x", md[i]);
        s += h;
    }
    return s + "\"";
}

TEST_F(SimCopyTest, UploadOfAFolderAndFilesLandsByteForByte)
{
    EXPECT_EQ(Drive({FolderBegin("C:\\up", kFtAttrHidden, 1)}), "ack");
    EXPECT_TRUE(fs::is_directory(root / "up"));
    EXPECT_EQ(SimFilesHostAttributes(&files, (root / "up").string()), kFtAttrHidden | kFtAttrDirectory);
    for (size_t size : {0u, 24576u, 24577u}) {
        SCOPED_TRACE(size);
        const std::string win = "C:\\up\\f" + std::to_string(size) + ".bin";
        const Bytes data = Pattern(size);
        const std::vector<Bytes> packets = SealedFile(win.c_str(), data, kFtAttrReadOnly | kFtAttrArchive, 0);
        ASSERT_EQ(packets.size(), FtFileChunks(size));
        std::string acks = "ack";
        for (size_t i = 1; i < packets.size(); i++)
            acks += " ack";
        EXPECT_EQ(Drive(packets), acks);
        const fs::path p = root / "up" / ("f" + std::to_string(size) + ".bin");
        EXPECT_EQ(ReadAll(p), data);
        struct stat st;
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        EXPECT_EQ(FileTimeOf(st.st_mtim), kWritten);
        EXPECT_EQ(SimFilesHostAttributes(&files, p.string()), kFtAttrReadOnly | kFtAttrArchive);
        const std::string line = Line("ft_file_received");
        EXPECT_EQ(SimLogField(line, "size"), std::to_string(size));
        EXPECT_EQ(SimLogField(line, "sha256"), Sha256Hex(data));
        EXPECT_EQ(SimLogField(line, "created"), std::to_string(kCreated));
    }
    EXPECT_EQ(Names(root / "up"), (std::vector<std::string>{"f0.bin", "f24576.bin", "f24577.bin"}));
    EXPECT_EQ(files.copy.filesDone, 3u);
    EXPECT_EQ(log.find("\"ev\":\"error\""), std::string::npos) << log;
    // Per file, not per chunk: the 24577-byte file's two acknowledgements are not lines.
    EXPECT_EQ(log.find("\"ev\":\"sent\""), std::string::npos);
}

TEST_F(SimCopyTest, OverwriteIsAskedAndAnswered)
{
    const Bytes old = Pattern(100, 7), fresh = Pattern(30000, 9);
    const struct {
        int answer;
        const char *words;
        int replaced;
    } kCases[] = {
        {FT_ANSWER_YES, "overwrite ack ack", 1},
        {FT_ANSWER_YES_TO_ALL, "overwrite ack ack", 1},
        {FT_ANSWER_NO, "overwrite stop", 0},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.answer);
        Write(root / "a.bin", old);
        Write(root / "b.bin", old);
        EXPECT_EQ(Drive(SealedFile("C:\\a.bin", fresh, kFtAttrArchive, 1), {c.answer}), c.words);
        EXPECT_EQ(ReadAll(root / "a.bin"), c.replaced ? fresh : old);
        // The same operation goes on: yes to all asks no more; a new operation asks again.
        if (c.replaced) {
            EXPECT_EQ(Drive(SealedFile("C:\\b.bin", fresh, kFtAttrArchive, 0), {FT_ANSWER_YES}),
                      c.answer == FT_ANSWER_YES_TO_ALL ? "ack ack" : "overwrite ack ack");
            EXPECT_EQ(Drive(SealedFile("C:\\b.bin", fresh, kFtAttrArchive, 1), {FT_ANSWER_NO}), "overwrite stop");
        }
        EXPECT_EQ(Names(root), (std::vector<std::string>{"a.bin", "b.bin", "link"}));
    }
    EXPECT_NE(log.find("\"ev\":\"ft_confirm_overwrite\",\"path\":\"C:\\\\a.bin\",\"attributes\":32"),
              std::string::npos);
}

TEST_F(SimCopyTest, AbortOrADamagedChunkLeavesNoPartialFile)
{
    const Bytes old = Pattern(50, 3), fresh = Pattern(60000, 5);
    Bytes abortData(kPacketHeaderSize + kFtFileDataHead), abort(kPacketHeaderSize);
    const FtFileData a = {1, 1, 0, nullptr};
    BuildFtFileData(&a, abortData.data(), abortData.size());
    BuildFtAbort(abort.data(), abort.size());
    // The target exists: each case first says yes to overwriting it.
    const int yes = FT_ANSWER_YES;
    const struct {
        const char *name;
        std::function<std::string(std::vector<Bytes>)> run;
        const char *words;
    } kCases[] = {
        {"PKT_FT_ABORT",
         [&](std::vector<Bytes> p) {
             const std::string w = Drive({p[0]}, {yes});
             return w + "|" + Words(Feed(abort));
         },
         "overwrite ack|"},
        {"data with abort",
         [&](std::vector<Bytes> p) {
             const std::string w = Drive({p[0], p[1]}, {yes});
             return w + "|" + Words(Feed(abortData));
         },
         "overwrite ack ack|"},
        {"damaged last chunk",
         [&](std::vector<Bytes> p) {
             p[2].back() ^= 0x5A;
             return Drive(p, {yes});
         },
         "overwrite ack ack stop"},
        {"connection closed",
         [&](std::vector<Bytes> p) {
             const std::string w = Drive({p[0]}, {yes});
             SimFilesDisconnect(&files, &log);
             return w;
         },
         "overwrite ack"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        Write(root / "keep.bin", old);
        EXPECT_EQ(c.run(SealedFile("C:\\keep.bin", fresh, kFtAttrArchive, 1)), c.words);
        EXPECT_EQ(ReadAll(root / "keep.bin"), old);
        EXPECT_EQ(Names(root), (std::vector<std::string>{"keep.bin", "link"})) << log;
        EXPECT_NE(Line("ft_upload_dropped"), "");
        log.clear();
        // Nothing is left open: the next upload lands whole.
        EXPECT_EQ(Drive(SealedFile("C:\\next.bin", old, kFtAttrArchive, 1)), "ack");
        fs::remove(root / "next.bin");
    }
    EXPECT_EQ(files.copy.filesDone, 4u);
}

TEST_F(SimCopyTest, TargetsOutsideTheFolderWriteNothing)
{
    const std::string abs = (outside / "x").string();
    const char *paths[] = {"C:\\..\\outside\\x", "C:\\link\\x", "C:\\link",          "E:\\x", "C:x", "C:\\a:stream",
                           abs.c_str(),          "\\\\h\\s\\x", "C:\\sub\\..\\..\\x"};
    for (const char *p : paths) {
        SCOPED_TRACE(p);
        // Retry repeats the refusal; cancel stops the operation.
        EXPECT_EQ(Drive(SealedFile(p, Pattern(10), kFtAttrArchive, 1), {FT_ANSWER_YES, FT_ANSWER_NO}),
                  "error3 error3 stop");
        EXPECT_EQ(Drive({FolderBegin(p, 0, 1)}, {FT_ANSWER_NO}), "error3 stop");
        EXPECT_NE(Line("ft_refused"), "");
    }
    EXPECT_EQ(Names(root), (std::vector<std::string>{"link"}));
    EXPECT_EQ(Names(outside), (std::vector<std::string>{"keep.txt"}));
    EXPECT_TRUE(fs::is_symlink(root / "link"));
}

TEST_F(SimCopyTest, DownloadOfATreeComesInOrderAndOpensBack)
{
    fs::create_directories(root / "tree" / "sub" / "deeper");
    const Bytes a = Pattern(5, 1), b = Pattern(24577, 2), z;
    Write(root / "tree" / "a.txt", a);
    Write(root / "tree" / "sub" / "b.bin", b);
    Write(root / "tree" / "z.txt", z);
    fs::create_directory_symlink(outside, root / "tree" / "out");
    const char *why;
    ASSERT_TRUE(SimFilesSetAttributes(&files, "C:\\tree\\a.txt", kFtAttrReadOnly | kFtAttrHidden, &why));
    struct stat st;
    ASSERT_EQ(stat((root / "tree" / "sub" / "b.bin").c_str(), &st), 0);

    std::string end;
    const std::vector<Received> got = Download("C:\\", "tree", 1, &end);
    EXPECT_EQ(end, "ack");
    const struct {
        const char *relative;
        uint32_t directory, attributes;
        const Bytes *data;
    } kWant[] = {
        {"tree", 1, kFtAttrDirectory, nullptr},
        {"tree\\a.txt", 0, kFtAttrReadOnly | kFtAttrHidden, &a},
        {"tree\\sub", 1, kFtAttrDirectory, nullptr},
        {"tree\\sub\\b.bin", 0, kFtAttrArchive, &b},
        {"tree\\sub\\deeper", 1, kFtAttrDirectory, nullptr},
        {"tree\\z.txt", 0, kFtAttrArchive, &z},
    };
    ASSERT_EQ(got.size(), std::size(kWant));
    for (size_t i = 0; i < got.size(); i++) {
        SCOPED_TRACE(kWant[i].relative);
        EXPECT_EQ(got[i].relative, kWant[i].relative);
        EXPECT_EQ(got[i].directory, kWant[i].directory);
        EXPECT_EQ(got[i].attributes, kWant[i].attributes);
        EXPECT_EQ(got[i].first, i == 0 ? 1u : 0u);
        EXPECT_TRUE(got[i].opened);
        if (kWant[i].data) {
            EXPECT_EQ(got[i].data, *kWant[i].data);
        }
    }
    EXPECT_EQ(got[3].written, FileTimeOf(st.st_mtim));
    EXPECT_EQ(files.copy.filesDone, 3u);
    const std::string sent = Line("ft_file_sent");
    EXPECT_EQ(SimLogField(sent, "relative"), "\"tree\\\\z.txt\"");
    EXPECT_EQ(SimLogField(sent, "sha256"), Sha256Hex(z));
    EXPECT_EQ(log.find("\"ev\":\"error\""), std::string::npos) << log;

    // One file: its name as the relative path; +16 after its first packet stops the item.
    std::vector<Received> one = Download("C:\\tree\\sub", "b.bin", 0, &end);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].relative, "b.bin");
    EXPECT_EQ(one[0].data, b);
    EXPECT_EQ(end, "ack");
    one = Download("C:\\tree\\sub\\", "b.bin", 0, &end, 0);
    EXPECT_EQ(end, "") << "nothing more for a stopped item";
    EXPECT_NE(Line("ft_download_stopped"), "");
    EXPECT_EQ(files.copy.filesDone, 4u);
    // A cancelled viewer stops after a whole file: +16 to its last packet leaves it sent.
    Download("C:\\tree", "a.txt", 0, &end, 0);
    EXPECT_EQ(end, "");
    EXPECT_EQ(SimLogField(Line("ft_file_sent"), "answer"), "\"stop\"");
    EXPECT_EQ(files.copy.filesDone, 5u);
    // A missing item is an open error; the request after it is served.
    one = Download("C:\\", "nothing", 0, &end);
    EXPECT_EQ(end, "error6");
    EXPECT_EQ(Words(Answer(FT_ANSWER_NO)), "stop");
    Download("C:\\tree", "a.txt", 0, &end);
    EXPECT_EQ(end, "ack");

    // Each next chunk sealed ahead while the viewer holds the one before: the same tree, a
    // stop that counts only what went, and a fault still on its own packet.
    passes = 2;
    const std::vector<Received> ahead = Download("C:\\", "tree", 1, &end);
    ASSERT_EQ(ahead.size(), std::size(kWant));
    EXPECT_EQ(ahead[3].data, b);
    EXPECT_TRUE(ahead[3].opened);
    EXPECT_EQ(SimLogField(Line("ft_file_sent"), "sha256"), Sha256Hex(z));
    Download("C:\\tree\\sub", "b.bin", 0, &end, 0);
    EXPECT_EQ(SimLogField(Line("ft_download_stopped"), "bytes"), "24576");
    files.copy.armRagged = 1;
    one = Download("C:\\tree\\sub", "b.bin", 0, &end);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[1].relative, "<data refused>");
}

TEST_F(SimCopyTest, EachArmedFaultProducesItsPacket)
{
    const Bytes data = Pattern(30000, 4);
    Write(root / "f.bin", data);
    std::string end;
    const struct {
        const char *name;
        std::function<void()> arm;
        std::function<void(const std::vector<Received> &, const std::string &)> check;
    } kDownloads[] = {
        {"error", [&] { SimFilesArmError(&files, 6); },
         [&](const std::vector<Received> &got, const std::string &e) {
             EXPECT_EQ(e, "error6");
             EXPECT_TRUE(got.empty());
             // Retry sends the file after all.
             Bytes retry = Answer(FT_ANSWER_YES);
             const std::vector<Received> again = Download("C:\\", "f.bin", 0, &end, -1, &retry);
             ASSERT_EQ(again.size(), 1u);
             EXPECT_EQ(again[0].data, data);
             EXPECT_EQ(end, "ack");
         }},
        {"stop", [&] { SimFilesArmStop(&files); },
         [&](const std::vector<Received> &got, const std::string &e) {
             EXPECT_EQ(e, "stop");
             EXPECT_TRUE(got.empty());
         }},
        {"corrupt", [&] { files.copy.armCorrupt = 1; },
         [&](const std::vector<Received> &got, const std::string &e) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_FALSE(got[0].opened) << "the damaged last chunk must not open";
             EXPECT_EQ(e, "ack");
         }},
        {"path", [&] { files.copy.armPath = 1, files.copy.pathText = "..\\..\\x"; },
         [&](const std::vector<Received> &got, const std::string &) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_EQ(got[0].relative, "..\\..\\x");
         }},
        {"short head", [&] { files.copy.armShortHead = 1; },
         [&](const std::vector<Received> &got, const std::string &) {
             ASSERT_FALSE(got.empty());
             EXPECT_EQ(got[0].relative.find("<refused: a file's first data shorter"), 0u) << got[0].relative;
         }},
    };
    for (const auto &c : kDownloads) {
        SCOPED_TRACE(c.name);
        c.arm();
        const std::vector<Received> got = Download("C:\\", "f.bin", 0, &end);
        c.check(got, end);
        EXPECT_NE(Line("ft_injected"), "");
        log.clear();
    }
    // Oversize: the next packet is a 40,000-byte PKT_FT_FILE_DATA.
    files.copy.armOversize = 1;
    FtDownload d = {1, 0, "C:\\", "f.bin", 0, 0, 0};
    Bytes req(kPacketHeaderSize + 554);
    req.resize(BuildFtDownload(&d, req.data(), req.size()));
    std::vector<Packet> ps = Packets(Feed(req));
    ASSERT_EQ(ps.size(), 1u);
    EXPECT_EQ(ps[0].h.dwType, (uint32_t)PKT_FT_FILE_DATA);
    EXPECT_EQ(ps[0].h.dwDataLen, 40000u);
    EXPECT_EQ(Words(Answer(FT_ANSWER_NO)), "");
    // Early: the second packet comes with the first; one answer then brings the third.
    Write(root / "e.bin", Pattern(50152, 5));
    files.copy.armEarly = 1;
    snprintf(d.name, sizeof d.name, "e.bin");
    req.resize(kPacketHeaderSize + 554);
    req.resize(BuildFtDownload(&d, req.data(), req.size()));
    EXPECT_EQ(Words(Feed(req)), "begin data");
    EXPECT_NE(Line("ft_injected").find("\"early\""), std::string::npos);
    EXPECT_EQ(Words(Answer(FT_ANSWER_GO_ON)), "data");
    EXPECT_EQ(Words(Answer(FT_ANSWER_GO_ON)), "ack");
    EXPECT_NE(Line("ft_file_sent").find("\"size\":50152"), std::string::npos) << Line("ft_file_sent");

    // Uploads: an error on the begin packet (Retry writes the file), a stop before it.
    SimFilesArmError(&files, 4);
    EXPECT_EQ(Drive(SealedFile("C:\\u.bin", data, kFtAttrArchive, 1), {FT_ANSWER_YES}), "error4 ack ack");
    EXPECT_EQ(ReadAll(root / "u.bin"), data);
    SimFilesArmStop(&files);
    EXPECT_EQ(Drive(SealedFile("C:\\v.bin", data, kFtAttrArchive, 1)), "stop");
    EXPECT_FALSE(fs::exists(root / "v.bin"));
}

TEST_F(SimCopyTest, ADelayHoldsPacketsUntilTheirTime)
{
    Write(root / "f.bin", Pattern(10));
    files.copy.delayMs = 200;
    FtDownload d = {1, 0, "C:\\", "f.bin", 0, 0, 0};
    Bytes req(kPacketHeaderSize + 554);
    req.resize(BuildFtDownload(&d, req.data(), req.size()));
    EXPECT_TRUE(Feed(req).empty());
    const double due = SimCopyDue(&files);
    EXPECT_GT(due, SimCopyClock() + 0.1);
    Bytes out;
    SimCopyTick(&files, due - 0.01, &out);
    EXPECT_TRUE(out.empty());
    SimCopyTick(&files, due, &out);
    EXPECT_EQ(Words(out), "begin");
    EXPECT_EQ(SimCopyDue(&files), 0.0);

    // An upload's held acknowledgement is dropped by the viewer's abort.
    const std::vector<Bytes> up = SealedFile("C:\\g.bin", Pattern(30000), kFtAttrArchive, 1);
    Answer(FT_ANSWER_GO_ON);
    EXPECT_NE(SimCopyDue(&files), 0.0);
    SimCopyTick(&files, SimCopyDue(&files), &out);
    EXPECT_TRUE(Feed(up[0]).empty());
    Bytes abort(kPacketHeaderSize);
    BuildFtAbort(abort.data(), abort.size());
    EXPECT_TRUE(Feed(abort).empty());
    EXPECT_EQ(SimCopyDue(&files), 0.0);
    EXPECT_FALSE(fs::exists(root / "g.bin"));
}

TEST_F(SimCopyTest, RequestsOutOfTurnOrMalformedAreRefusedCleanly)
{
    Write(root / "f.bin", Pattern(10));
    auto download = [](const char *folder, const char *name) {
        FtDownload d = {};
        snprintf(d.folder, sizeof d.folder, "%s", folder);
        snprintf(d.name, sizeof d.name, "%s", name);
        Bytes p(kPacketHeaderSize + 554);
        p.resize(BuildFtDownload(&d, p.data(), p.size()));
        return p;
    };
    Bytes data(kPacketHeaderSize + kFtFileDataHead + 8);
    const uint8_t block[8] = {};
    const FtFileData d = {0, 1, 8, block};
    BuildFtFileData(&d, data.data(), data.size());
    Bytes shortHead = SealedFile("C:\\g.bin", Bytes(), 0, 1)[0];
    PutU32LE(&shortHead[kPacketHeaderSize + 293], 40); // n below the envelope head
    const std::string longFolder = "C:\\" + std::string(256, 'x');
    const struct {
        const char *name;
        Bytes packet;
        const char *words;
    } kCases[] = {
        {"data with no file open", data, "stop"},
        {"a begin shorter than the head", shortHead, "stop"},
        {"a name with a backslash", download("C:\\", "a\\f.bin"), "error6"},
        {"a name that climbs", download("C:\\", ".."), "error6"},
        {"a link to outside", download("C:\\", "link"), "error6"},
        {"a folder outside", download("C:\\..", "outside"), "error6"},
        {"a path over 260 characters", download(longFolder.c_str(), "f.bin"), "error6"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Drive({c.packet}, {FT_ANSWER_NO}), std::string(c.words) + (strcmp(c.words, "stop") ? " stop" : ""));
    }
    EXPECT_EQ(Names(root), (std::vector<std::string>{"f.bin", "link"}));
    EXPECT_EQ(Names(outside), (std::vector<std::string>{"keep.txt"}));
    // The copy is back at rest: a download goes through.
    std::string end;
    EXPECT_EQ(Download("C:\\", "f.bin", 0, &end).size(), 1u);
    EXPECT_EQ(end, "ack");
}

TEST_F(SimCopyTest, ABurstOfQuestionsHoldsEveryRequestUntilEachIsAnswered)
{
    Bytes list(kPacketHeaderSize + kFtListDirLen);
    BuildFtListDir(2, "C:\\", list.data(), list.size());
    const struct {
        const char *name;
        int now;
        std::vector<int> answers;
        const char *words, *tally;
        bool landed;
    } kCases[] = {
        {"all yes: the upload goes on",
         0,
         {FT_ANSWER_YES, FT_ANSWER_YES_TO_ALL, FT_ANSWER_YES},
         "ack",
         "\"yes\":2,\"yes_to_all\":1,\"no\":0,\"go_on\":0",
         true},
        {"one stop ends it",
         0,
         {FT_ANSWER_YES, FT_ANSWER_NO, FT_ANSWER_YES},
         "stop",
         "\"yes\":2,\"yes_to_all\":0,\"no\":1,\"go_on\":0",
         false},
        {"sent when told: nothing to go on with",
         1,
         {FT_ANSWER_NO, FT_ANSWER_GO_ON, FT_ANSWER_NO},
         "",
         "\"yes\":0,\"yes_to_all\":0,\"no\":2,\"go_on\":1",
         false},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        fs::remove(root / "q.bin");
        Bytes reply;
        if (c.now) {
            SimCopyQuestionsNow(&files, 3, &log, &reply);
        } else {
            files.copy.armQuestions = 3;
            reply = Feed(SealedFile("C:\\q.bin", Pattern(100, 3), kFtAttrArchive, 1)[0]);
        }
        EXPECT_EQ(Words(reply), "overwrite overwrite overwrite");
        EXPECT_TRUE(Feed(list).empty()); // an Agent waiting for its answers serves nothing else
        std::string last = "-";
        for (int a : c.answers)
            last = Words(Answer(a));
        EXPECT_EQ(last, c.words);
        EXPECT_EQ(fs::exists(root / "q.bin"), c.landed);
        EXPECT_NE(Line("ft_questions_answered").find(std::string("\"count\":3,") + c.tally), std::string::npos)
            << Line("ft_questions_answered");
        EXPECT_FALSE(Feed(list).empty()); // at rest again
    }
    EXPECT_NE(log.find("a question is open; not answered"), std::string::npos);
}

TEST(SimControl, CopyCommandsParse)
{
    const struct {
        const char *line;
        int kind;
        uint32_t value;
        const char *path;
    } kGood[] = {
        {"ft-corrupt", kCtlFtCorrupt, 0, ""},
        {"ft-short-head", kCtlFtShortHead, 0, ""},
        {"ft-oversize", kCtlFtOversize, 0, ""},
        {"ft-delay 250", kCtlFtDelay, 250, ""},
        {"ft-early", kCtlFtEarly, 0, ""},
        {"ft-ragged", kCtlFtRagged, 0, ""},
        {"ft-path ..\\..\\x", kCtlFtPath, 0, "..\\..\\x"},
        {"ft-path  a b:c  ", kCtlFtPath, 0, "a b:c"},
        {"wait-files 3", kCtlWaitFiles, 0, ""},
        {"ft-questions 3000", kCtlFtQuestions, 3000, ""},
        {"ft-questions 1 now", kCtlFtQuestions, 1, ""},
        {"ft-endless", kCtlFtEndless, 20, ""},
        {"ft-endless 0", kCtlFtEndless, 0, ""},
        {"ft-damaged", kCtlFtDamaged, 0, ""},
        {"settings-answer refused", kCtlSettingsAnswer, kSettingsRefused, ""},
        {"settings-answer overfull", kCtlSettingsAnswer, kSettingsOverfull, ""},
    };
    for (const auto &c : kGood) {
        SimControlCommand cmd;
        char err[160] = "";
        ASSERT_EQ(SimParseControl(c.line, strlen(c.line), &cmd, err, sizeof err), 1) << c.line << ": " << err;
        EXPECT_EQ(cmd.kind, c.kind) << c.line;
        EXPECT_EQ(cmd.value, c.value) << c.line;
        EXPECT_EQ(cmd.path, c.path) << c.line;
    }
    SimControlCommand cmd;
    char err[160];
    ASSERT_EQ(SimParseControl("ft-questions 2 now", 18, &cmd, err, sizeof err), 1);
    EXPECT_EQ(cmd.on, 1);
    ASSERT_EQ(SimParseControl("wait-files 5 7", 14, &cmd, err, sizeof err), 1);
    EXPECT_EQ(cmd.count, 5u);
    EXPECT_EQ(cmd.seconds, 7u);
}

} // namespace
