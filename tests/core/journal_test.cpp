// Lines for the journal: the priority prefix goes on every line, and only when the file
// descriptor is the stream that JOURNAL_STREAM names.
#include "core/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/testdb.h"

namespace {

using enviozvr::core::journalText;
using enviozvr::core::Priority;

// Sets JOURNAL_STREAM for its lifetime and puts the old value back.
class JournalStreamVariable {
  public:
    explicit JournalStreamVariable(const std::string& value) {
        if (const char* old = std::getenv("JOURNAL_STREAM")) saved_ = old;
        ::setenv("JOURNAL_STREAM", value.c_str(), 1);
    }
    ~JournalStreamVariable() {
        if (saved_)
            ::setenv("JOURNAL_STREAM", saved_->c_str(), 1);
        else
            ::unsetenv("JOURNAL_STREAM");
    }

  private:
    std::optional<std::string> saved_;
};

TEST(Journal, PrefixesEveryLineOnlyOnTheJournalStream) {
    enviozvr::testing::TempDir dir;
    const std::string path = dir.file("stream");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    struct stat info {};
    ASSERT_EQ(::fstat(fd, &info), 0);
    const std::string own = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const std::string other = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino + 1);
    struct Case {
        const char* what;
        std::string variable;
        Priority priority;
        std::string text, expected;
    };
    const Case cases[] = {
        {"one line", own, Priority::Warning, "003: sin conexion\n", "<4>003: sin conexion\n"},
        {"every line of several", own, Priority::Error, "a\nb\n", "<3>a\n<3>b\n"},
        {"a blank line stays blank", own, Priority::Info, "a\n\nb", "<6>a\n\n<6>b"},
        {"another stream", other, Priority::Warning, "a\nb\n", "a\nb\n"},
        {"a malformed variable", own + "x", Priority::Warning, "a\n", "a\n"},
        {"no inode", std::to_string(info.st_dev) + ":", Priority::Warning, "a\n", "a\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const JournalStreamVariable variable(c.variable);
        EXPECT_EQ(journalText(fd, c.priority, c.text), c.expected);
    }
    ::close(fd);
}

}  // namespace
