// Bringing the BIOS of a freshly installed system into the state the system requires:
// factory admin password, secure boot on, USB and PXE boot off, AHCI on, and the model's
// wake and power settings.
#pragma once

struct BiosState;

// Runs the setup when the configuration store says the system is freshly installed.
void bios_fresh_install_setup(BiosState &state);

// The setup steps themselves, without asking the store.
void bios_fresh_install_apply(BiosState &state);
