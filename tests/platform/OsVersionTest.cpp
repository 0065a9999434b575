// The operating-system probe: its two parsers, and the facts of the machine the tests run on.

#include "platform/OsVersion.h"

#include <QString>
#include <QSysInfo>

#include <sys/utsname.h>

#include <gtest/gtest.h>

namespace {

using platform::KernelVersion;

TEST(OsVersion, KernelReleaseNumbers)
{
    struct Case {
        const char* release;
        KernelVersion version;
    };
    const Case cases[] = {
        { "6.1.0-13-amd64", { 6, 1, 0 } }, { "5.15", { 5, 15, 0 } }, { "4.19.123-rt53", { 4, 19, 123 } },
        { "6.7.4-arch1-1", { 6, 7, 4 } }, { "4", { 4, 0, 0 } }, { "3.10.0.957.el7", { 3, 10, 0 } },
        { "6.", { 6, 0, 0 } }, { "v6.1.0", { 0, 0, 0 } }, { "x.y", { 0, 0, 0 } }, { "", { 0, 0, 0 } },
        { "99999999999999999999999.1", { ~0UL, 1, 0 } }, // too long for the type: its largest value
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::ParseKernelRelease(c.release), c.version) << c.release;
}

TEST(OsVersion, PrettyNameOfOsRelease)
{
    struct Case {
        const char* name;
        std::string text;
        const char* pretty;
    };
    const Case cases[] = {
        { "quoted", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nID=debian\n",
            "Debian GNU/Linux 12 (bookworm)" },
        { "unquoted, CR LF", "ID=arch\r\nPRETTY_NAME=Arch Linux\r\n", "Arch Linux" },
        { "single quotes and escapes", "PRETTY_NAME='Say \\\"hi\\\"'\n", "Say \"hi\"" },
        { "missing", "NAME=Nothing\n", "" },
        { "empty text", "", "" },
        { "control characters dropped", "PRETTY_NAME=\"A\x01\x1b[31mB\"\n", "A[31mB" },
        { "only a line that begins with the key", "XPRETTY_NAME=No\nPRETTY_NAME=Yes\n", "Yes" },
        { "an unmatched quote stays", "PRETTY_NAME=\"Half\n", "\"Half" },
        { "no line end", "PRETTY_NAME=Last", "Last" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::OsReleasePrettyName(c.text), c.pretty) << c.name;
}

TEST(OsVersion, TheProbeReadsThisMachineAndATestsProbeTakesItsPlace)
{
    struct utsname name { };
    ASSERT_EQ(uname(&name), 0);
    const platform::OsFacts facts = platform::ProbeOsVersion();
    ASSERT_TRUE(facts.ok);
    EXPECT_EQ(facts.kernelRelease, name.release);
    EXPECT_EQ(facts.kernel, platform::ParseKernelRelease(name.release));
    EXPECT_EQ(facts.machine, name.machine);
    EXPECT_EQ(facts.buildArchitecture, QSysInfo::buildCpuArchitecture().toStdString());

    {
        const platform::ScopedOsVersionProbe failing([] { return platform::OsFacts {}; });
        EXPECT_FALSE(platform::ProbeOsVersion().ok);
    }
    EXPECT_TRUE(platform::ProbeOsVersion().ok);
}

} // namespace
