// The USB redirection id list and the kernel's redirection string built from it.
//
// Id list: entries each beginning with "0x", one arbitrary character between two entries.
// An entry is an id optionally followed by ","-separated words; "NoDriver" in the entry
// asks that the device be left without a host driver.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t usb_red_max_entries = 64;

// Splits the id list into at most 64 entries; pieces that do not begin with "0x" are logged
// and left out.
std::vector<std::string> parse_red_string(std::string_view list);

// Formats the entries as the kernel reads them, each preceded by ",":
//   0x + 8 hex digits (vendor, product)          -> {id,0x0,0xF}
//   0x + 6 hex digits (class, subclass, protocol) -> {0x0,id,0xF}
//   0x + 14 hex digits (all five)                 -> {0xVVVVPPPP,0xCCSSPP,0xF}
// with F = 1, or 3 for NoDriver. Malformed entries are logged and left out; `count` gets the
// number of entries formatted.
std::string usbif_setup_idstring(const std::vector<std::string> &entries, int *count);

// "%d,0,%d%s": mode (1 redirect, 0 local), entry count, entries.
std::string usb_red_kernel_string(std::string_view list, bool redirect);

// True when the list starts with the special entry 0x00000000010100 (any case), which is
// passed to the kernel as it stands.
bool usb_red_is_special(std::string_view list);

// A stored kernel string read back as the request that makes it: the id list (entries
// separated by one space, ",NoDriver" after an entry with flags 3) and whether it is the
// redirect list. usb_red_kernel_string(request) gives the kernel string again. Nothing when
// the text is not a string this program makes.
struct UsbRedRequest {
    std::string ids;
    bool redirect = false;
};
std::optional<UsbRedRequest> usb_red_request_of(std::string_view kernel_string);
