// BIOS tests run the access layer against the simulator library, in-process, through the
// SMI transport seam. Every test starts from a fresh simulator and fresh process buffers.
#pragma once

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "biossim.h"
#include "host/host_root.h"
#include "host/smi_file.h"
#include "log_capture.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_models.h"
#include "services/bios/smi_transport.h"

class BiosFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        biossim::reset(sim);
        active = this;
        previous = smi_file_set_exchange_for_tests(&BiosFixture::sim_exchange);
        smi_buffers_init();
        memset(bios_model_name, 0, sizeof bios_model_name);
        secure_boot_init_marker = 0;
        bios_change_reboot_flag = 0;
    }

    void TearDown() override
    {
        smi_file_set_exchange_for_tests(previous);
        active = nullptr;
    }

    void set_model(const char *model) { g_strlcpy(bios_model_name, model, sizeof bios_model_name); }

    // The request texts the simulator received, in order.
    std::vector<std::string> requests() const
    {
        std::vector<std::string> texts;
        for (const auto &request : sim.requests)
            texts.push_back(request.text);
        return texts;
    }

    // Requests of one class ("appwrite 1 " for token writes, ...).
    std::vector<std::string> requests_starting(const std::string &prefix) const
    {
        std::vector<std::string> texts;
        for (const auto &text : requests())
            if (text.rfind(prefix, 0) == 0)
                texts.push_back(text);
        return texts;
    }

    void add_fault(biossim::FaultKind kind, int64_t token = -1, uint32_t status = biossim::STATUS_UNKNOWN)
    {
        biossim::Fault fault;
        fault.kind = kind;
        fault.token = token;
        fault.status = status;
        sim.faults.push_back(fault);
    }

    // The BIOS answers `status` to the matching requests (-1: any token, class, select).
    static biossim::Fault status_fault(uint32_t status, int64_t token = -1, int cmd_class = -1, int cmd_select = -1)
    {
        biossim::Fault fault;
        fault.status = status;
        fault.token = token;
        fault.cmd_class = cmd_class;
        fault.cmd_select = cmd_select;
        return fault;
    }

    biossim::Sim sim;
    LogCapture log;
    // Where the last request record was when it was exchanged, to look at it afterwards.
    const char *last_record = nullptr;
    size_t last_record_size = 0;

private:
    static SmiFileResult sim_exchange(const char *, const void *record, size_t record_size, char *answer,
                                      size_t answer_size)
    {
        active->last_record = static_cast<const char *>(record);
        active->last_record_size = record_size;
        const biossim::Answer reply = biossim::handle(active->sim, static_cast<const char *>(record), record_size);
        if (reply.kind == biossim::ANSWER_WRITE_ERROR)
            return {SmiFileStatus::write_failed, EIO, 0};
        if (reply.kind == biossim::ANSWER_READ_ERROR)
            return {SmiFileStatus::read_failed, EIO, 0};
        const size_t n = reply.text.size() < answer_size ? reply.text.size() : answer_size;
        memcpy(answer, reply.text.data(), n);
        return {SmiFileStatus::ok, 0, n};
    }

    static inline BiosFixture *active = nullptr;
    SmiFileExchange previous = nullptr;
};

// Points the host root at `path` for the life of the object.
class ScopedHostRoot {
public:
    explicit ScopedHostRoot(const std::string &path)
    {
        const char *old = getenv("CORVO_HOST_ROOT");
        had_old_ = old != nullptr;
        if (old)
            old_ = old;
        setenv("CORVO_HOST_ROOT", path.c_str(), 1);
        host_root_reset_for_tests();
    }
    ~ScopedHostRoot()
    {
        if (had_old_)
            setenv("CORVO_HOST_ROOT", old_.c_str(), 1);
        else
            unsetenv("CORVO_HOST_ROOT");
        host_root_reset_for_tests();
    }
    ScopedHostRoot(const ScopedHostRoot &) = delete;
    ScopedHostRoot &operator=(const ScopedHostRoot &) = delete;

private:
    bool had_old_ = false;
    std::string old_;
};
