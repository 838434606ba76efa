#include "temp_dir.h"
#include "test_bios_fixture.h"
#include "test_bios_json.h"

namespace {

class BiosModels : public BiosFixture {
protected:
    // Detects the model from `product` written as the DMI product name (with a line end).
    std::string detect(const char *product)
    {
        TempDir root;
        ScopedHostRoot scoped(root.path());
        const std::string folder = root.path() + "/sys/class/dmi/id";
        g_mkdir_with_parents(folder.c_str(), 0755);
        if (product) {
            const std::string text = std::string(product) + "\n";
            g_file_set_contents((folder + "/product_name").c_str(), text.c_str(), -1, nullptr);
        }
        memset(bios_model_name, 0, sizeof bios_model_name);
        bios_detect_model();
        return bios_model_name;
    }
};

TEST_F(BiosModels, ProductNamesMapToIdentifiersInTableOrder)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Kora K10 Extended", "K10X"},
        {"Kora K10 Thin Client", "K10"},
        {"Kora K30 AIO", "K30AIO"},
        {"Kora K30 Mini", "K30MTC"},
        {"Kora K20", "K20"},
        {"Kora VanTor 70", "Vantor 70"},
        {"Kora L81", "Lumen 81"},
        {"Kora L82", "Lumen 82"},
        {"Kora L83", "Lumen 83"},
        {"Kora L84", "Lumen 84"},
        {"Kora K40 AIO", "K40AIO"},
        {"Kora AIO K50", "K50AIO"},
        {"Kora AIO K60", "K60AIO"},
        // The first row that matches wins; the searches respect letter case.
        {"K10 L81", "K10"},
        {"L81 K10", "K10"},
        {"K30 AIO K20", "K30AIO"},
    };
    for (const auto &[product, model] : cases)
        EXPECT_EQ(model, detect(product)) << product;
    EXPECT_EQ(0u, log.count_containing("get product name err"));
}

TEST_F(BiosModels, UnknownOrUnreadableProductLeavesTheModelEmpty)
{
    EXPECT_EQ("", detect("Kora Vantor 70"));
    EXPECT_EQ("", detect("Kora K50 AIO"));
    EXPECT_EQ(2u, log.count_containing("D bios: get product name err"));
    EXPECT_EQ("", detect(nullptr));
    EXPECT_EQ(1u, log.count_containing("D bios: can not get product name"));
}

TEST_F(BiosModels, KeyListsPerModel)
{
    // The extract list is the read list without the password state and the asset tag.
    for (const char *model : {"K10", "k10x", "K30AIO", "K30MTC", "K20", "Vantor 70", "Lumen 81", "Lumen 82", "LUMEN 83",
                              "Lumen 84", "K40AIO", "K50AIO", "K60AIO"}) {
        set_model(model);
        const auto read = json_strings(bios_read_key_list());
        ASSERT_GT(read.size(), 2u) << model;
        EXPECT_EQ("DeviceKORACMOSEnablePassword", read[0]) << model;
        EXPECT_EQ("DeviceKORACMOSAssettag", read[1]) << model;
        EXPECT_EQ(std::vector<std::string>(read.begin() + 2, read.end()), json_strings(bios_extract_key_list()))
            << model;
    }

    // Only the K10 family is matched by prefix; the others need the whole identifier.
    set_model("K10X");
    const auto k10x = json_strings(bios_read_key_list());
    set_model("k10-anything");
    EXPECT_EQ(json_strings(bios_read_key_list()), k10x);
    for (const char *model : {"K30", "Vantor70", "K20 ", ""}) {
        set_model(model);
        EXPECT_EQ(nullptr, bios_read_key_list()) << model;
        EXPECT_EQ(nullptr, bios_extract_key_list()) << model;
    }

    for (const char *model : {"Vantor 70", "k50aio", "K10X"}) {
        set_model(model);
        EXPECT_TRUE(bios_model_matches(deep_sleep_models)) << model;
    }
    for (const char *model : {"", "K20", "Lumen 84"}) {
        set_model(model);
        EXPECT_FALSE(bios_model_matches(deep_sleep_models)) << model;
    }
}

}  // namespace
