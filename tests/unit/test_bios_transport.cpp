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
        return {SMI_FILE_OK, 0, n};
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

    // Clears the record, asks for a token read of `token` and sends it.
    int send_token_read(uint32_t token)
    {
        smi_request_clear();
        smi_request.input[0] = token;
        return smi_send_request();
    }
};

TEST_F(BiosTransport, AnswerFieldsFillTheOutputsInTurn)
{
    use_raw("appread 0 1");
    smi_request_clear();
    smi_request.output[2] = 0;
    EXPECT_EQ(0, smi_send_request());
    EXPECT_EQ(0u, smi_request.output[0]);
    EXPECT_EQ(1u, smi_request.output[1]);
    EXPECT_EQ(0u, smi_request.output[2]);
    EXPECT_EQ(1u, log.count_containing("D bios: output0 is 0"));
    EXPECT_EQ(1u, log.count_containing("D bios: output1 is 1"));
    EXPECT_EQ(0u, log.count_containing("output2 is"));

    // Two blanks in a row make an empty field, read as 0; a trailing line end is harmless;
    // fields past the third are ignored.
    use_raw("appread  a 0x1F 9 9\n");
    EXPECT_EQ(0, send_token_read(1));
    EXPECT_EQ(0u, smi_request.output[0]);
    EXPECT_EQ(0xAu, smi_request.output[1]);
    EXPECT_EQ(0x1Fu, smi_request.output[2]);
    EXPECT_EQ(0u, smi_request.output[3]);
}

TEST_F(BiosTransport, AnswerWithoutTheExactHeaderFails)
{
    for (const char *answer : {"APPREAD 0 1", "appread: 0 1", "", "appreads 0", " appread 0"}) {
        use_raw(answer);
        EXPECT_EQ(-1, send_token_read(0xA3)) << answer;
        EXPECT_EQ(0u, smi_request.output[1]) << answer;
    }
    EXPECT_EQ(5u, log.count_containing("D bios: read header error"));
}

TEST_F(BiosTransport, OverLongFieldIsCutTo31CharactersAndLogged)
{
    const std::string field = "0123456789abcdef0123456789abcdef01234567";  // 40 digits
    use_raw("appread 0 " + field + " 2");
    EXPECT_EQ(0, send_token_read(0xA3));
    // The first 31 characters end in ...789abcde: the low 32 bits of that number.
    EXPECT_EQ(0x789abcdeu, smi_request.output[1]);
    EXPECT_EQ(2u, smi_request.output[2]);
    ASSERT_EQ(1u, log.count_containing("length error, truncated!"));
    EXPECT_EQ(1u, log.count_containing("D settings: file[bios] line["));
    EXPECT_EQ(1u, log.count_containing("]: " + field + " length error"));
}

TEST_F(BiosTransport, RecordsAreWrittenWholeInTheirFixedSizes)
{
    use_raw("appread 0 0 0\n");
    EXPECT_EQ(0, send_token_read(0xA3));
    ASSERT_EQ(177u, RawDriver::record.size());
    const std::string text = "appwrite 0 0 a3 0 0 0\n";
    EXPECT_EQ(text, std::string(RawDriver::record.c_str()));
    EXPECT_EQ(std::string(177 - text.size(), '\0'), RawDriver::record.substr(text.size()));

    smi_request_clear();
    smi_request.cmd_class = SMI_CLASS_PASSWORD;
    smi_request.cmd_select = SMI_SELECT_PASSWORD_VERIFY;
    bios_password_max_len = 32;
    smi_password_copy(bios_password_current, "my \"pass\" word");
    EXPECT_EQ(0, smi_send_request());
    ASSERT_EQ(193u, RawDriver::record.size());
    EXPECT_EQ("appwrite a 4 20 my \"pass\" word", std::string(RawDriver::record.c_str()));

    smi_request_clear();
    smi_request.cmd_class = SMI_CLASS_PASSWORD;
    smi_request.cmd_select = SMI_SELECT_PASSWORD_CHANGE;
    smi_password_copy(bios_password_new, "new");
    EXPECT_EQ(0, smi_send_request());
    ASSERT_EQ(321u, RawDriver::record.size());
    EXPECT_EQ("appwrite a 5 20 my \"pass\" word new", std::string(RawDriver::record.c_str()));

    // Every other request is the general form with the four inputs.
    smi_request_clear();
    smi_request.cmd_class = SMI_CLASS_TOKEN_WRITE;
    smi_request.input[0] = 0x34F;
    smi_request.input[1] = 1;
    smi_request.input[2] = 0xdeadbeef;
    smi_request.input[3] = 7;
    EXPECT_EQ(0, smi_send_request());
    EXPECT_EQ(177u, RawDriver::record.size());
    EXPECT_EQ("appwrite 1 0 34f 1 deadbeef 7\n", std::string(RawDriver::record.c_str()));
}

TEST_F(BiosTransport, ExchangeFailuresAreLoggedAndReturnMinusOne)
{
    add_fault(biossim::FAULT_READ_ERROR);
    EXPECT_EQ(-1, send_token_read(0xA3));
    EXPECT_EQ(1u, log.count_containing("D bios: smi read file error is " + std::string(g_strerror(EIO))));

    sim.faults.clear();
    add_fault(biossim::FAULT_WRITE_ERROR);
    EXPECT_EQ(-1, send_token_read(0xA3));
    EXPECT_EQ(1u, log.count_containing("D bios: smi write file error is " + std::string(g_strerror(EIO))));

    // A short answer is not an error: the missing fields stay zero.
    sim.faults.clear();
    sim.values["ACRecovery"] = 2;
    add_fault(biossim::FAULT_SHORT_ANSWER);
    EXPECT_EQ(0, send_token_read(0xA3));
    EXPECT_EQ(0u, smi_request.output[1]);
}

TEST_F(BiosTransport, RealFileExchangeOpensWithoutCreatingWritesOnceRewindsAndReadsBack)
{
    TempDir root;
    ScopedHostRoot scoped(root.path());
    smi_file_set_exchange_for_tests(nullptr);  // the real file exchange
    const std::string folder = root.path() + "/compat/linux/sys/devices/platform/smbase";
    EXPECT_EQ(-1, send_token_read(0xA3));
    EXPECT_EQ(1u, log.count_containing("D bios: smi request write open file fail"));
    EXPECT_EQ(1u, log.count_containing("D bios: error is " + std::string(g_strerror(ENOENT))));
    EXPECT_FALSE(g_file_test((folder + "/smi_request").c_str(), G_FILE_TEST_EXISTS));

    // A plain file stands for the driver: what is read back after the rewind is the record
    // just written, whose header is not an answer's.
    ASSERT_EQ(0, g_mkdir_with_parents(folder.c_str(), 0755));
    ASSERT_TRUE(g_file_set_contents((folder + "/smi_request").c_str(), "", 0, nullptr));
    EXPECT_EQ(-1, send_token_read(0xA3));
    EXPECT_EQ(1u, log.count_containing("read header error"));
    gchar *content = nullptr;
    gsize length = 0;
    ASSERT_TRUE(g_file_get_contents((folder + "/smi_request").c_str(), &content, &length, nullptr));
    EXPECT_EQ(177u, length);
    EXPECT_STREQ("appwrite 0 0 a3 0 0 0\n", content);
    g_free(content);
}

}  // namespace
