#include <glib/gstdio.h>

#include "temp_dir.h"
#include "test_bios_fixture.h"

namespace {

// Answers every request with a fixed text and keeps what was written.
struct RawDriver {
    static inline std::string answer;
    static inline std::string record;

    static SmiFileResult exchange(const char *, const void *data, size_t size, char *buffer, size_t buffer_size)
    {
        record.assign(static_cast<const char *>(data), size);
        const size_t n = answer.size() < buffer_size ? answer.size() : buffer_size;
        memcpy(buffer, answer.data(), n);
        return {SmiFileStatus::ok, 0, n};
    }
};

class BiosTransport : public BiosFixture {
protected:
    void use_raw(const std::string &answer)
    {
        RawDriver::answer = answer;
        RawDriver::record.clear();
        smi_file_set_exchange_for_tests(&RawDriver::exchange);
    }
};

TEST_F(BiosTransport, AnswerFieldsFillTheOutputsInTurn)
{
    use_raw("appread 0 1");
    const SmiAnswer first = smi_token_read(0xA3);
    EXPECT_TRUE(first.ok());
    EXPECT_EQ(1u, first.output[1]);
    EXPECT_EQ(0u, first.output[2]);
    EXPECT_EQ(1u, log.count_containing("D bios: output0 is 0"));
    EXPECT_EQ(1u, log.count_containing("D bios: output1 is 1"));
    EXPECT_EQ(0u, log.count_containing("output2 is"));

    // Two blanks in a row make an empty field, read as 0; a trailing line end is harmless;
    // fields past the third are ignored.
    use_raw("appread  a 0x1F 9 9\n");
    const SmiAnswer second = smi_token_read(1);
    EXPECT_TRUE(second.ok());
    EXPECT_EQ(0xAu, second.output[1]);
    EXPECT_EQ(0x1Fu, second.output[2]);
}

TEST_F(BiosTransport, AnswerWithoutTheExactHeaderFails)
{
    for (const char *answer : {"APPREAD 0 1", "appread: 0 1", "", "appreads 0", " appread 0"}) {
        use_raw(answer);
        const SmiAnswer refused = smi_token_read(0xA3);
        EXPECT_FALSE(refused.exchanged) << answer;
        EXPECT_EQ(0u, refused.value()) << answer;
    }
    EXPECT_EQ(5u, log.count_containing("D bios: read header error"));
}

TEST_F(BiosTransport, OverLongFieldIsCutTo31CharactersAndLogged)
{
    const std::string field = "0123456789abcdef0123456789abcdef01234567";  // 40 digits
    use_raw("appread 0 " + field + " 2");
    const SmiAnswer answer = smi_token_read(0xA3);
    // The first 31 characters end in ...789abcde: the low 32 bits of that number.
    EXPECT_EQ(0x789abcdeu, answer.output[1]);
    EXPECT_EQ(2u, answer.output[2]);
    ASSERT_EQ(1u, log.count_containing("length error, truncated!"));
    EXPECT_EQ(1u, log.count_containing("D settings: file[bios] line["));
    EXPECT_EQ(1u, log.count_containing("]: " + field + " length error"));
}

TEST_F(BiosTransport, RecordsAreWrittenWholeInTheirFixedSizes)
{
    use_raw("appread 0 0 0\n");
    EXPECT_TRUE(smi_token_read(0xA3).ok());
    ASSERT_EQ(177u, RawDriver::record.size());
    const std::string text = "appwrite 0 0 a3 0 0 0\n";
    EXPECT_EQ(text, std::string(RawDriver::record.c_str()));
    EXPECT_EQ(std::string(177 - text.size(), '\0'), RawDriver::record.substr(text.size()));

    EXPECT_TRUE(smi_password_verify("my \"pass\" word", 32).ok());
    ASSERT_EQ(193u, RawDriver::record.size());
    EXPECT_EQ("appwrite a 4 20 my \"pass\" word", std::string(RawDriver::record.c_str()));

    EXPECT_TRUE(smi_password_change("my \"pass\" word", "new", 32).ok());
    ASSERT_EQ(321u, RawDriver::record.size());
    EXPECT_EQ("appwrite a 5 20 my \"pass\" word new", std::string(RawDriver::record.c_str()));

    // Every other request is the general form with the four inputs.
    EXPECT_TRUE(smi_request(smi_class::token_write, 0, 0x34F, 1, 0xdeadbeef, 7).ok());
    EXPECT_EQ(177u, RawDriver::record.size());
    EXPECT_EQ("appwrite 1 0 34f 1 deadbeef 7\n", std::string(RawDriver::record.c_str()));
}

TEST_F(BiosTransport, ExchangeFailuresAreLogged)
{
    add_fault(biossim::FAULT_READ_ERROR);
    EXPECT_FALSE(smi_token_read(0xA3).exchanged);
    EXPECT_EQ(1u, log.count_containing("D bios: smi read file error is " + std::string(g_strerror(EIO))));

    sim.faults.clear();
    add_fault(biossim::FAULT_WRITE_ERROR);
    EXPECT_FALSE(smi_token_read(0xA3).exchanged);
    EXPECT_EQ(1u, log.count_containing("D bios: smi write file error is " + std::string(g_strerror(EIO))));

    // A short answer is not an error: the missing fields stay zero.
    sim.faults.clear();
    sim.values["ACRecovery"] = 2;
    add_fault(biossim::FAULT_SHORT_ANSWER);
    const SmiAnswer answer = smi_token_read(0xA3);
    EXPECT_TRUE(answer.ok());
    EXPECT_EQ(0u, answer.value());
}

TEST_F(BiosTransport, RealFileExchangeOpensWithoutCreatingWritesOnceRewindsAndReadsBack)
{
    TempDir root;
    ScopedHostRoot scoped(root.path());
    smi_file_set_exchange_for_tests(nullptr);  // the real file exchange
    const std::string folder = root.path() + "/compat/linux/sys/devices/platform/smbase";
    EXPECT_FALSE(smi_token_read(0xA3).exchanged);
    EXPECT_EQ(1u, log.count_containing("D bios: smi request write open file fail"));
    EXPECT_EQ(1u, log.count_containing("D bios: error is " + std::string(g_strerror(ENOENT))));
    EXPECT_FALSE(g_file_test((folder + "/smi_request").c_str(), G_FILE_TEST_EXISTS));

    // A plain file stands for the driver: what is read back after the rewind is the record
    // just written, whose header is not an answer's.
    ASSERT_EQ(0, g_mkdir_with_parents(folder.c_str(), 0755));
    ASSERT_TRUE(g_file_set_contents((folder + "/smi_request").c_str(), "", 0, nullptr));
    EXPECT_FALSE(smi_token_read(0xA3).exchanged);
    EXPECT_EQ(1u, log.count_containing("read header error"));
    gchar *content = nullptr;
    gsize length = 0;
    ASSERT_TRUE(g_file_get_contents((folder + "/smi_request").c_str(), &content, &length, nullptr));
    EXPECT_EQ(177u, length);
    EXPECT_STREQ("appwrite 0 0 a3 0 0 0\n", content);
    g_free(content);
}

}  // namespace
