// What message expansion takes from a MessageCatalogue, checked against the fake the core tests run
// with (native build) and against the registry, environment and message files of the system
// (Windows build, in siftwell_win32_tests), so that the fake answers as the system does.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "siftwell/core/MessageRules.h"
#include "siftwell/core/Ports.h"

#ifdef _WIN32
#include <windows.h>

#include "ProgramRun.h"
#include "UniqueHandle.h"
#include "siftwell/win32/Adapters.h"
#include "siftwell/tests/win32/EventSources.h"
#else
#include "siftwell/tests/Fakes.h"
#endif

namespace zandrel::siftwell::testing {
namespace {

constexpr char kLog[] = "SiftwellContract";
// Error severity, customer bit, facility 0xFFF, code 7: in the test file, in no system table.
constexpr std::uint32_t kOnlyInTestFile = 0xCFFF0007;
constexpr std::uint32_t kInNoTable = 0xCFFF0999;
constexpr std::uint32_t kSystemMessage = 1001;

// A catalogue with what the suite sets up: sources under kLog, environment variables, and the
// tests' message file (siftwell/tests/messages/SiftwellTestMessages.mc).
class CatalogueUnderTest {
  public:
    virtual ~CatalogueUnderTest() = default;
    virtual MessageCatalogue& Catalogue() = 0;
    // A source's key, with its EventMessageFile value or without one.
    virtual void Register(const std::string& source, const std::optional<std::string>& value) = 0;
    virtual void SetVariable(const std::string& name, const std::string& value) = 0;
    virtual std::string TestMessageFile() const = 0;
};

#ifdef _WIN32
class SystemCatalogue : public CatalogueUnderTest {
  public:
    ~SystemCatalogue() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kEventLogKey + std::string(kLog)).c_str());
    }
    MessageCatalogue& Catalogue() override { return catalogue_; }
    void Register(const std::string& source, const std::optional<std::string>& value) override {
        RegisterSource(kLog, source, value);
    }
    void SetVariable(const std::string& name, const std::string& value) override {
        ASSERT_TRUE(SetEnvironmentVariableA(name.c_str(), value.c_str()));
    }
    std::string TestMessageFile() const override {
        return zandrel::testing::BuildPathToWindows(SIFTWELL_TEST_MESSAGES_DLL);
    }

  private:
    Win32MessageCatalogue catalogue_;
};
#else
class FakeCatalogueUnderTest : public CatalogueUnderTest {
  public:
    FakeCatalogueUnderTest() {
        // The messages of the test file that the suite reads, as windmc writes them.
        fake_.messages = {{{TestMessageFile(), 7}, "The disk %1 has a bad block at %2.\r\n"},
                          {{TestMessageFile(), 13}, "Two lines:\r\nsecond line with %1.\r\n"},
                          {{TestMessageFile(), kOnlyInTestFile}, "High-bit message for %1.\r\n"}};
        fake_.systemMessages = {{kSystemMessage, "Stack overflow.\r\n"}};
    }
    MessageCatalogue& Catalogue() override { return fake_; }
    void Register(const std::string& source, const std::optional<std::string>& value) override {
        fake_.registrations[{kLog, source}] = value;
    }
    void SetVariable(const std::string& name, const std::string& value) override {
        fake_.environment["%" + name + "%"] = value;
    }
    std::string TestMessageFile() const override { return "C:\\tests\\SiftwellTestMessages.dll"; }

  private:
    FakeCatalogue fake_;
};
#endif

std::unique_ptr<CatalogueUnderTest> MakeCatalogue() {
#ifdef _WIN32
    return std::make_unique<SystemCatalogue>();
#else
    return std::make_unique<FakeCatalogueUnderTest>();
#endif
}

// What reading a source's value gives: the value as stored, nothing for a key without one, or the
// failure of a key that cannot be opened.
std::string ValueRead(MessageCatalogue& catalogue, const std::string& logName, const std::string& source) {
    Result<std::unique_ptr<SourceRegistration>> opened = catalogue.OpenSource(logName, source);
    if (const Failure* failure = FailureOf(opened)) {
        return "failure " + std::to_string(failure->number);
    }
    const Result<std::optional<std::string>> value = ValueOf(opened)->MessageFileValue();
    if (const Failure* failure = FailureOf(value)) {
        return "value failure " + std::to_string(failure->number);
    }
    return ValueOf(value).value_or("(no value)");
}

TEST(MessageCatalogueContract, SourcesGiveTheirValueAsStored) {
    const auto under = MakeCatalogue();
    under->Register("Stored", "%SystemRoot%\\first.dll;second.dll");
    under->Register("Empty", "");
    under->Register("NoValue", std::nullopt);
    MessageCatalogue& catalogue = under->Catalogue();
    EXPECT_EQ(ValueRead(catalogue, kLog, "Stored"), "%SystemRoot%\\first.dll;second.dll");
    EXPECT_EQ(ValueRead(catalogue, kLog, "Empty"), "");
    EXPECT_EQ(ValueRead(catalogue, kLog, "NoValue"), "(no value)");
    EXPECT_EQ(ValueRead(catalogue, kLog, "Unregistered"), "failure 2");
    EXPECT_EQ(ValueRead(catalogue, "SiftwellNoSuchLog", "Stored"), "failure 2");
}

TEST(MessageCatalogueContract, EnvironmentReferencesAreExpanded) {
    const auto under = MakeCatalogue();
    under->SetVariable("ZandrelContractDir", "C:\\Messages");
    const struct {
        const char* text;
        const char* expanded;
    } kRows[] = {
        {"%ZandrelContractDir%\\x.dll", "C:\\Messages\\x.dll"},
        {"C:\\plain\\x.dll", "C:\\plain\\x.dll"},
        {"%ZandrelNoSuchVariable%\\x.dll", "%ZandrelNoSuchVariable%\\x.dll"},
        {"", ""},
    };
    for (const auto& row : kRows) {
        const Result<std::string> expanded = under->Catalogue().ExpandEnvironment(row.text);
        ASSERT_FALSE(FailureOf(expanded)) << row.text;
        EXPECT_EQ(ValueOf(expanded), row.expanded);
    }
}

// A message as written, its inserts untouched; the same message formatted; no text for an
// identifier in neither the file nor the system's table.
std::string TemplateOf(MessageModule& module, std::uint32_t eventId) {
    const Result<std::string> text = module.Template(eventId);
    return FailureOf(text) ? "(none)" : ValueOf(text);
}
std::string Formatted(MessageModule& module, std::uint32_t eventId, const MessageArgs& args) {
    const Result<std::string> text = module.Format(eventId, InsertTable(args));
    return FailureOf(text) ? "(none)" : ValueOf(text);
}

TEST(MessageCatalogueContract, AMessageFileAndTheSystemsTable) {
    const auto under = MakeCatalogue();
    MessageArgs args;
    args[0] = "C:";
    args[1] = "9";
    const std::unique_ptr<MessageModule> file = under->Catalogue().LoadMessages(under->TestMessageFile());
    EXPECT_EQ(TemplateOf(*file, 7), "The disk %1 has a bad block at %2.\r\n");
    EXPECT_EQ(Formatted(*file, 7, args), "The disk C: has a bad block at 9.\r\n");
    EXPECT_EQ(Formatted(*file, 13, args), "Two lines:\r\nsecond line with C:.\r\n");
    // All 32 bits of the identifier pick the message.
    EXPECT_EQ(Formatted(*file, kOnlyInTestFile, args), "High-bit message for C:.\r\n");
    EXPECT_EQ(TemplateOf(*file, kInNoTable), "(none)");
    EXPECT_EQ(Formatted(*file, kInNoTable, args), "(none)");
    EXPECT_NE(TemplateOf(*file, kSystemMessage), "(none)") << "the system's table answers after the file";

    // No file, or one that cannot be loaded: the system's table alone.
    for (const char* name : {"", "SiftwellNoSuchMessages.dll"}) {
        const std::unique_ptr<MessageModule> none = under->Catalogue().LoadMessages(name);
        EXPECT_EQ(TemplateOf(*none, kOnlyInTestFile), "(none)") << name;
        EXPECT_NE(TemplateOf(*none, kSystemMessage), "(none)") << name;
    }
}

}  // namespace
}  // namespace zandrel::siftwell::testing
