// Output files: every kind of target a user can name (files, links, devices,
// FIFOs, descriptors, folders that refuse new files, full disks), writers
// racing for one name, and temporaries removed when a signal ends the
// program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/OutputFile.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#endif

using namespace oront;
namespace fs = std::filesystem;

#ifdef __linux__
// The random source of temporary names, replaceable for one row: names
// starting from forced bytes let a link be planted where a temporary will be
// created. Everything else gets the kernel's random bytes.
namespace {
int g_forcedNames = 0;
}
extern "C" int getentropy(void* buffer, std::size_t length) {
    if (g_forcedNames > 0) {
        --g_forcedNames;
        std::memset(buffer, 0, length);  // ".oront-AAAAAA"
        return 0;
    }
    return ::syscall(SYS_getrandom, buffer, length, 0) == static_cast<long>(length) ? 0 : -1;
}

// The reservation of disk space, replaceable for one row: one that claims
// success without holding the space lets the write after it fail, as on a
// file system that does not keep reservations.
namespace {
bool g_falseReservation = false;
}
extern "C" int fallocate(int fd, int mode, off_t offset, off_t length) {
    if (g_falseReservation) return 0;
    return static_cast<int>(::syscall(SYS_fallocate, fd, mode, offset, length));
}
#endif

namespace {

// More than one write call of the CSV writer, with bytes of every value.
const std::string kPayload = [] {
    std::string s(150000, '\0');
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}();

std::string ReadFile(const fs::path& file) {
    return test::ReadFileBytes(file);
}

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// Every name below the folder that is a leftover temporary.
std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(".oront-", 0) == 0) names.push_back(name);
    }
    return names;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Writes kPayload in blocks, as the CSV writer does.
OutputResult WritePayload(const std::string& path) {
    OutputFile file;
    if (!file.Open(path)) return file.Result();
    for (std::size_t at = 0; at < kPayload.size(); at += 65536) {
        if (!file.Write(kPayload.data() + at, std::min<std::size_t>(65536, kPayload.size() - at))) return file.Result();
    }
    file.Commit();
    return file.Result();
}

fs::path FreshFolder(const std::string& name) {
    // Below the system's temporary folder, which every user may reach (a
    // build folder inside a home folder may not be).
    // One folder per test program, so that runs of other builds at the same
    // time do not clear each other's files; removed when the program ends.
    static const struct Base {
        fs::path path = fs::temp_directory_path() / ("oront-output-test-" + std::to_string(getpid()));
        ~Base() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } base;
    fs::path dir = base.path / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    // Reachable by the unprivileged user some rows write as.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    return dir;
}

// What one row of the matrix prepares.
struct Target {
    std::string path;                       // the name written
    std::string skip;                       // why the row cannot run here
    std::function<void()> check = [] {};    // the row's own checks afterwards
    std::function<void()> cleanup = [] {};  // always run
};

struct Row {
    const char* name;
    std::function<Target(const fs::path& dir)> prepare;
    int error;
    OutputMethod method;
    bool asOrdinaryUser = false;  // write without root's right to ignore permissions
    bool leftAsItWas = false;     // the failure says that the file is as it was
};

#ifndef _WIN32
mode_t ModeOf(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

mode_t Umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

constexpr uid_t kNobody = 65534;

// The null (minor 3) or full (minor 7) device. Were the code to regress,
// root would replace /dev/null itself, so root writes to a node of the same
// device in the test's own folder; others cannot replace anything in /dev.
Target DeviceTarget(const fs::path& dir, const char* name, unsigned minor) {
    Target target{std::string("/dev/") + name, ""};
#ifdef __linux__
    if (::geteuid() != 0) return target;
    const fs::path node = dir / name;
    const int fd = ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0 ? ::open(node.c_str(), O_WRONLY) : -1;
    if (fd < 0) return Target{"", "no device node of our own can be opened here (nodev?)"};
    ::close(fd);
    target.path = node.string();
    target.check = [=] { EXPECT_TRUE(fs::is_character_file(node)); };
#endif
    return target;
}

// Runs the write in a child that has given up root, so that folder
// permissions apply; the result comes back through a pipe.
OutputResult WriteAsOrdinaryUser(const std::string& path, std::string& skip) {
    if (::geteuid() != 0) return WritePayload(path);
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        int reply[3] = {-1, 0, 0};
        if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
            ::access(path.c_str(), F_OK) == 0) {
            const OutputResult result = WritePayload(path);
            reply[0] = result.error;
            reply[1] = static_cast<int>(result.method);
            reply[2] = result.leftAsItWas ? 1 : 0;
        }
        (void)!::write(fds[1], reply, sizeof reply);
        ::_exit(0);
    }
    ::close(fds[1]);
    int reply[3] = {-1, 0, 0};
    const bool got = ::read(fds[0], reply, sizeof reply) == static_cast<ssize_t>(sizeof reply);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    if (!got || reply[0] < 0) {
        skip = "an unprivileged user cannot reach the test folder";
        return {};
    }
    OutputResult result;
    result.error = reply[0];
    result.method = static_cast<OutputMethod>(reply[1]);
    result.leftAsItWas = reply[2] != 0;
    result.path = path;
    return result;
}
#endif

#ifdef __linux__
// A file on a 64 kB disk, in a folder there that refuses new files: the
// payload can only be written in place, and does not fit.
Target FileOnASmallLockedDisk(const fs::path& dir) {
    const fs::path mnt = dir / "small";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        return Target{"", "cannot mount a small tmpfs here (needs root)"};
    const fs::path file = mnt / "old.csv";
    const std::string old(20000, 'o');
    WriteFile(file, old);
    ::chmod(file.c_str(), 0640);
    (void)!::chown(file.c_str(), kNobody, kNobody);
    ::chmod(mnt.c_str(), 0555);
    return Target{file.string(), "",
                  [=] {
                      EXPECT_TRUE(ReadFile(file) == old);
                      EXPECT_EQ(Entries(mnt), std::vector<std::string>{"old.csv"});
                  },
                  [=] {
                      g_falseReservation = false;
                      ::chmod(mnt.c_str(), 0755);
                      ::umount(mnt.c_str());
                  }};
}
#endif

std::vector<Row> Rows() {
    std::vector<Row> rows;
    rows.push_back({"NewFile",
                    [](const fs::path& dir) {
                        const fs::path file = dir / "new.csv";
                        return Target{file.string(), "", [=] {
                                          EXPECT_TRUE(ReadFile(file) == kPayload);
#ifndef _WIN32
                                          EXPECT_EQ(ModeOf(file), 0666 & ~Umask());
#endif
                                      }};
                    },
                    0, OutputMethod::kReplaced});
    rows.push_back({"RegularFileKeepsItsMode",
                    [](const fs::path& dir) {
                        const fs::path file = dir / "old.csv";
                        WriteFile(file, std::string(400000, 'x'));
                        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
                        return Target{file.string(), "", [=] {
                                          EXPECT_TRUE(ReadFile(file) == kPayload);
                                          EXPECT_EQ(Entries(dir), std::vector<std::string>{"old.csv"});
#ifndef _WIN32
                                          EXPECT_EQ(ModeOf(file), 0600u);
#endif
                                      }};
                    },
                    0, OutputMethod::kReplaced});
    rows.push_back({"FolderIsRefused",
                    [](const fs::path& dir) {
                        fs::create_directory(dir / "folder.csv");
                        WriteFile(dir / "folder.csv" / "keep", "keep");
                        return Target{(dir / "folder.csv").string(), "",
                                      [=] { EXPECT_EQ(ReadFile(dir / "folder.csv" / "keep"), "keep"); }};
                    },
                    EISDIR, OutputMethod::kNone});
    rows.push_back(
        {"MissingFolder",
         [](const fs::path& dir) {
             return Target{(dir / "missing" / "a.csv").string(), "", [=] { EXPECT_TRUE(Entries(dir).empty()); }};
         },
         ENOENT, OutputMethod::kNone});
#ifndef _WIN32
    rows.push_back({"LongestName",
                    [](const fs::path& dir) {
                        const fs::path file = dir / (std::string(251, 'n') + ".csv");
                        WriteFile(file, "old");
                        return Target{file.string(), "", [=] { EXPECT_TRUE(ReadFile(file) == kPayload); }};
                    },
                    0, OutputMethod::kReplaced});
    rows.push_back({"NameThatIsNotUtf8",
                    [](const fs::path& dir) {
                        const std::string file = dir.string() + "/caf\xE9-\xFF.csv";
                        return Target{file, "", [=] { EXPECT_TRUE(ReadFile(file) == kPayload); }};
                    },
                    0, OutputMethod::kReplaced});
    rows.push_back({"ChainOfLinksKeepsTheLinks",
                    [](const fs::path& dir) {
                        fs::create_directory(dir / "data");
                        const fs::path real = dir / "data" / "real.csv";
                        WriteFile(real, "old");
                        fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
                        fs::create_symlink(fs::path("data") / "real.csv", dir / "inner.csv");
                        fs::create_symlink("inner.csv", dir / "outer.csv");
                        return Target{(dir / "outer.csv").string(), "", [=] {
                                          EXPECT_EQ(fs::read_symlink(dir / "outer.csv"), "inner.csv");
                                          EXPECT_EQ(fs::read_symlink(dir / "inner.csv"), fs::path("data") / "real.csv");
                                          EXPECT_TRUE(ReadFile(real) == kPayload);
                                          EXPECT_EQ(ModeOf(real), 0640u);
                                          EXPECT_EQ(Entries(dir / "data"), std::vector<std::string>{"real.csv"});
                                      }};
                    },
                    0, OutputMethod::kReplaced});
    rows.push_back({"DanglingLinkGetsItsFile",
                    [](const fs::path& dir) {
                        fs::create_directory(dir / "data");
                        fs::create_symlink(fs::path("data") / "later.csv", dir / "link.csv");
                        return Target{(dir / "link.csv").string(), "", [=] {
                                          EXPECT_EQ(fs::read_symlink(dir / "link.csv"), fs::path("data") / "later.csv");
                                          EXPECT_TRUE(ReadFile(dir / "data" / "later.csv") == kPayload);
                                      }};
                    },
                    0, OutputMethod::kReplaced});
    rows.push_back({"DevNullThroughALink",
                    [](const fs::path& dir) {
                        Target target = DeviceTarget(dir, "null", 3);
                        if (!target.skip.empty()) return target;
                        const fs::path link = dir / "null.csv";
                        fs::create_symlink(target.path, link);
                        const fs::path device = target.path;
                        target.path = link.string();
                        target.check = [=] {
                            EXPECT_TRUE(fs::is_character_file(device));
                            EXPECT_TRUE(fs::is_symlink(link));
                        };
                        return target;
                    },
                    0, OutputMethod::kDirect});
    rows.push_back({"DevFullIsAFailure", [](const fs::path& dir) { return DeviceTarget(dir, "full", 7); }, ENOSPC,
                    OutputMethod::kNone});
    rows.push_back({"FifoReaderGetsTheBytes",
                    [](const fs::path& dir) {
                        const fs::path fifo = dir / "pipe.csv";
                        ::mkfifo(fifo.c_str(), 0600);
                        auto received = std::make_shared<std::string>();
                        auto reader = std::make_shared<std::thread>([=] { *received = ReadFile(fifo); });
                        return Target{fifo.string(), "", [=] {
                                          // A reader still waiting for a writer (the write failed) is let go.
                                          ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
                                          reader->join();
                                          EXPECT_TRUE(*received == kPayload);
                                          EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
                                      }};
                    },
                    0, OutputMethod::kDirect});
    rows.push_back({"AppendingDescriptorKeepsAppending",
                    [](const fs::path& dir) {
                        // As "oront-v208-cli save-all /dev/stdout >> log" sees it.
                        const fs::path log = dir / "log.csv";
                        WriteFile(log, "earlier\n");
                        const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
                        fs::create_symlink("/dev/fd/" + std::to_string(fd), dir / "out.csv");
                        return Target{(dir / "out.csv").string(), "",
                                      [=] { EXPECT_TRUE(ReadFile(log) == "earlier\n" + kPayload); },
                                      [=] { ::close(fd); }};
                    },
                    0, OutputMethod::kDirect});
    rows.push_back({"ClosedDescriptor",
                    [](const fs::path&) {
                        return Target{"/proc/self/fd/987", ""};
                    },
                    EBADF, OutputMethod::kNone});
    rows.push_back({"FolderThatRefusesNewFilesIsWrittenInPlace",
                    [](const fs::path& dir) {
                        const fs::path locked = dir / "locked";
                        fs::create_directory(locked);
                        const fs::path file = locked / "kept.csv";
                        WriteFile(file, std::string(400000, 'x'));
                        ::chmod(file.c_str(), 0640);
                        if (::geteuid() == 0) (void)!::chown(file.c_str(), kNobody, kNobody);
                        ::chmod(locked.c_str(), 0555);
                        struct stat before {};
                        ::stat(file.c_str(), &before);
                        return Target{file.string(), "",
                                      [=] {
                                          EXPECT_TRUE(ReadFile(file) == kPayload);
                                          struct stat after {};
                                          ::stat(file.c_str(), &after);
                                          EXPECT_EQ(after.st_ino, before.st_ino);
                                          EXPECT_EQ(after.st_mode, before.st_mode);
                                          EXPECT_EQ(after.st_uid, before.st_uid);
                                          EXPECT_EQ(Entries(locked), std::vector<std::string>{"kept.csv"});
                                      },
                                      [=] { ::chmod(locked.c_str(), 0755); }};
                    },
                    0, OutputMethod::kInPlace, /*asOrdinaryUser=*/true});
    rows.push_back({"ReadOnlyFileInLockedFolder",
                    [](const fs::path& dir) {
                        const fs::path locked = dir / "locked";
                        fs::create_directory(locked);
                        WriteFile(locked / "ro.csv", "old");
                        ::chmod((locked / "ro.csv").c_str(), 0444);
                        ::chmod(locked.c_str(), 0555);
                        return Target{(locked / "ro.csv").string(), "",
                                      [=] { EXPECT_EQ(ReadFile(locked / "ro.csv"), "old"); },
                                      [=] { ::chmod(locked.c_str(), 0755); }};
                    },
                    EACCES, OutputMethod::kNone, /*asOrdinaryUser=*/true});
#endif
#ifdef __linux__
    rows.push_back({"FullDiskKeepsTheOldFile",
                    [](const fs::path& dir) {
                        const fs::path mnt = dir / "small";
                        fs::create_directory(mnt);
                        if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
                            return Target{"", "cannot mount a small tmpfs here (needs root)"};
                        WriteFile(mnt / "old.csv", "old content");
                        return Target{(mnt / "old.csv").string(), "",
                                      [=] {
                                          EXPECT_EQ(ReadFile(mnt / "old.csv"), "old content");
                                          EXPECT_EQ(Entries(mnt), std::vector<std::string>{"old.csv"});
                                      },
                                      [=] { ::umount(mnt.c_str()); }};
                    },
                    ENOSPC, OutputMethod::kNone});
    rows.push_back({"FolderThatRefusesNewFilesOnAFullDiskKeepsTheOldFile", FileOnASmallLockedDisk, ENOSPC,
                    OutputMethod::kNone, /*asOrdinaryUser=*/true, /*leftAsItWas=*/true});
    rows.push_back({"FolderThatRefusesNewFilesOnAFullDiskGetsTheOldBytesBackAfterAFailedWrite",
                    [](const fs::path& dir) {
                        g_falseReservation = true;
                        return FileOnASmallLockedDisk(dir);
                    },
                    ENOSPC, OutputMethod::kNone, /*asOrdinaryUser=*/true, /*leftAsItWas=*/true});
    rows.push_back({"PlantedLinkAtTheTemporaryIsNotFollowed",
                    [](const fs::path& dir) {
                        const fs::path victim = dir / "victim";
                        WriteFile(victim, "victim");
                        fs::create_symlink(victim, dir / ".oront-AAAAAA");
                        g_forcedNames = 1;  // the first name tried is the planted one
                        return Target{(dir / "out.csv").string(), "", [=] {
                                          EXPECT_EQ(g_forcedNames, 0);
                                          EXPECT_EQ(ReadFile(victim), "victim");
                                          EXPECT_EQ(fs::read_symlink(dir / ".oront-AAAAAA"), victim);
                                          EXPECT_TRUE(ReadFile(dir / "out.csv") == kPayload);
                                          fs::remove(dir / ".oront-AAAAAA");
                                      }};
                    },
                    0, OutputMethod::kReplaced});
#endif
    return rows;
}

class OutputTargets : public ::testing::TestWithParam<Row> {};

TEST_P(OutputTargets, WrittenAsTheirKindRequires) {
    const Row& row = GetParam();
    const fs::path dir = FreshFolder(row.name);
    Target target = row.prepare(dir);
    if (!target.skip.empty()) {
        target.cleanup();
        ORONT_SKIP_OR_FAIL(target.skip);
    }
    OutputResult result;
#ifndef _WIN32
    if (row.asOrdinaryUser) {
        result = WriteAsOrdinaryUser(target.path, target.skip);
        if (!target.skip.empty()) {
            target.cleanup();
            ORONT_SKIP_OR_FAIL(target.skip);
        }
    } else
#endif
    {
        result = WritePayload(target.path);
    }
    EXPECT_EQ(result.error, row.error) << result.Describe();
    EXPECT_EQ(result.method, row.method);
    EXPECT_EQ(result.leftAsItWas, row.leftAsItWas);
    if (row.error != 0) {
        EXPECT_EQ(result.Describe(),
                  ErrorText(row.error) + ": " + target.path + (row.leftAsItWas ? " (the file is left as it was)" : ""));
    }
    target.check();
    target.cleanup();
    EXPECT_TRUE(Temporaries(dir).empty());
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OutputTargets, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(OutputFileText, ErrorsReadTheSameInEveryLocale) {
    OutputResult result;
    EXPECT_EQ(result.Describe(), "");
    result.error = ENOENT;
    result.path = "/x/y.csv";
    EXPECT_EQ(result.Describe(), "No such file or directory: /x/y.csv");
}

TEST(OutputFileRace, WritersRacingForOneNameEachLeaveOneWholeFile) {
    const fs::path dir = FreshFolder("race");
    const std::string path = (dir / "shared.csv").string();
    const std::string a(1 << 20, 'a');
    const std::string b(1 << 20, 'b');
    auto writer = [&](const std::string& bytes, bool& ok) {
        for (int i = 0; i < 20; ++i) ok = WriteOutputFile(path, bytes).ok() && ok;
    };
    bool okA = true;
    bool okB = true;
    std::thread ta(writer, std::cref(a), std::ref(okA));
    std::thread tb(writer, std::cref(b), std::ref(okB));
    ta.join();
    tb.join();
    EXPECT_TRUE(okA);
    EXPECT_TRUE(okB);
    const std::string final = ReadFile(path);
    EXPECT_TRUE(final == a || final == b);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"shared.csv"});

#ifndef _WIN32
    // A FIFO that takes the name while the file is written is not replaced.
    OutputFile file;
    ASSERT_TRUE(file.Open(path));
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_TRUE(file.Write(a));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Result().error, EEXIST);
    EXPECT_EQ(fs::status(path).type(), fs::file_type::fifo);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"shared.csv"});
#endif
    fs::remove_all(dir);
}

#ifndef _WIN32
// A program ended by a signal while its temporary is open leaves the target
// as it was and no temporary; an ignored signal stays ignored.
TEST(OutputFileSignals, EndingSignalsRemoveTheTemporary) {
    struct Case {
        int signal;
        bool ignored;
    };
    for (const Case c : {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGHUP, false}, Case{SIGHUP, true}}) {
        SCOPED_TRACE(::testing::Message() << "signal " << c.signal << (c.ignored ? " (ignored)" : ""));
        const fs::path dir = FreshFolder("signal");
        const fs::path target = dir / "data.csv";
        WriteFile(target, "old");
        int ready[2];
        int go[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(go), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // The disposition the program starts with (a test run in the
            // background inherits SIGINT ignored).
            ::signal(c.signal, c.ignored ? SIG_IGN : SIG_DFL);
            OutputFile file;
            const bool written = file.Open(target.string()) && file.Write(kPayload);
            char byte = written ? 1 : 0;
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(go[0], &byte, 1);  // the signal comes while waiting here
            ::_exit(file.Commit() ? 0 : 3);
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        EXPECT_EQ(byte, 1);
        EXPECT_EQ(Temporaries(dir).size(), 1u);  // the child is between writing and renaming
        ::kill(child, c.signal);
        if (c.ignored) {
            ::usleep(100000);
            (void)!::write(go[1], &byte, 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
        if (c.ignored) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_TRUE(ReadFile(target) == kPayload);
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
            EXPECT_EQ(ReadFile(target), "old");
        }
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"data.csv"});
        fs::remove_all(dir);
    }
}
#endif

}  // namespace
