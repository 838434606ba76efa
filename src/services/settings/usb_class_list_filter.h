// Validation and normalisation of the USB class lists of the device policy.
#pragma once

#include <cstddef>

// One row of the class name table: names are matched exactly; the class is what the name
// stands for (kept for readers of the table, the list keeps the name).
struct UsbClassName {
    const char *name;
    unsigned code;
};
extern const UsbClassName usb_class_names[23];

// Rewrites the ","-separated class list in `list` (a buffer of `size` bytes) in place:
// names of the table stay as they are, numeric codes become "0x" and six lowercase hex
// digits (class, subclass, protocol; missing fields repeat those of the previous code,
// starting from class 0, subclass 2, protocol 0); other pieces are dropped. Returns the length
// of the result plus one separator, or 0 (list cleared) when nothing valid remained; a
// non-empty list without a valid piece is logged. A result longer than `max_len` characters
// or than the buffer holds is refused: -1, and the list is left as it was.
int usb_class_list_filter(char *list, size_t size, size_t max_len);
