// Start-up re-application of the settings that live only in kernel state and the store.
#pragma once

// Re-applies the stored power-button and USB redirection settings; returns the power-button
// result (1 when a command ran), 0 when nothing is stored.
int admin_policy_restore();
