// Writing an output file (CSV, memory image, PDF) so that a reader never sees
// half of it and a failure never destroys what was there.
//
// How a target is written depends on what it is:
//  - a regular file, a new name, or a symbolic link (also a chain of links,
//    also one that points at a missing file) is replaced atomically: the
//    bytes go to a short, randomly named temporary created exclusively in the
//    folder of the file the links lead to, which is synced, given the old
//    file's mode (and owner and group where permitted), and renamed over that
//    file; the links stay as they are. A new file gets 0666 minus the umask.
//  - an existing file that is not a regular file (a terminal, /dev/null, a
//    FIFO) is written directly and never replaced; /dev/stdout, /dev/stderr,
//    /dev/fd/N and /proc/self/fd/N are written through the descriptor N the
//    program already has, so a ">>" redirection keeps appending.
//  - a regular file whose folder refuses the temporary but which is itself
//    writable is rewritten in place: the disk space for the new bytes is
//    reserved before the first old byte is overwritten, then all bytes are
//    written and the file is cut to their length. Space that cannot be had
//    leaves the file as it was; a write that fails after all (an I/O error, a
//    file system that does not hold the reservation) puts the old bytes back
//    where the file can be read.
//  - a directory is refused (EISDIR).
//  - a file registered with ProtectFromOutput (the download archive and its
//    companion files), under any name that leads to it, is refused (EPERM).
// SIGINT, SIGTERM and SIGHUP remove the temporaries still open before the
// program ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace oront {

enum class OutputMethod {
    kNone,      // nothing written (failed, or not committed yet)
    kReplaced,  // a complete temporary was renamed over the target
    kDirect,    // written straight into a device, FIFO or open descriptor
    kInPlace,   // the existing file was overwritten and cut to length
};

struct OutputResult {
    int error = 0;  // errno of the first failure; 0 when none
    OutputMethod method = OutputMethod::kNone;
    std::string path;    // the target as the caller named it
    std::string reason;  // the program's own text for the failure, where the system's says too little
    // A failed in-place rewrite left the file with its old bytes and length.
    bool leftAsItWas = false;

    [[nodiscard]] bool ok() const { return error == 0; }
    // "<system text for error>: <path>" (English in every locale), or
    // "<reason>: <path>", followed by " (the file is left as it was)" where
    // leftAsItWas says so; empty without an error.
    [[nodiscard]] std::string Describe() const;
};

// What Open may do beyond writing the target as its kind requires.
struct OutputOptions {
    // Only a name that does not exist yet is taken (EEXIST otherwise): the
    // complete file appears under it at once, and one that another program
    // created meanwhile is never replaced.
    bool createOnly = false;
    // The permissions of a new file whatever the umask; -1: 0666 minus the
    // umask.
    int mode = -1;
};

// The system's text for an errno value, the same in every locale.
std::string ErrorText(int error);

class OutputFile {
public:
    OutputFile() = default;
    // Abandons the file unless Commit succeeded: a temporary is removed and
    // the target stays as it was.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Decides how the target is written and prepares it (creates the
    // temporary, opens the device). May block on a FIFO until it has a
    // reader.
    bool Open(const std::string& path, const OutputOptions& options = {});
    // Appends bytes; false (and the file abandoned) on the first failure.
    bool Write(const void* data, std::size_t size);
    bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    // Makes the written bytes the target's content; the result tells how.
    bool Commit();
    // Abandons the file now (also done by the destructor).
    void Abort();

    [[nodiscard]] const OutputResult& Result() const { return m_result; }

private:
    bool Fail(int error);
    bool RefuseProtected();
    bool RewriteInPlace();
    void Release();

    OutputResult m_result;
    OutputMethod m_plan = OutputMethod::kNone;
    int m_fd = -1;
    int m_folderFd = -1;      // the folder holding the temporary
    int m_slot = -1;          // its entry in the signal-time cleanup list
    std::string m_tempName;   // the temporary's name inside the folder (Windows: its path)
    std::string m_finalName;  // the replaced file's name inside the folder (Windows: its path)
    std::string m_pending;    // bytes held until Commit when rewriting in place
    long long m_written = 0;  // bytes written to the temporary
    long long m_sentOn = 0;   // of these, bytes already on their way to the disk
    bool m_open = false;
    OutputOptions m_options;
};

// Open, Write and Commit in one call.
OutputResult WriteOutputFile(const std::string& path, std::string_view bytes, const OutputOptions& options = {});

// Files no output may write, for the rest of the run (the download archive
// in use and its companion files): they are compared by what they are (a
// link or a hard link to one is the same file) and by their place (a name
// in the same folder, also before the file exists).
// `reason` is what a refused output says ("it is the download archive").
void ProtectFromOutput(const std::vector<std::string>& paths, const std::string& reason);
// The protected file that writing `path` would write; empty when none.
std::string ProtectedFileAt(const std::string& path);

}  // namespace oront
