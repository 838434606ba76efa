// Start-up re-application of the settings that live only in kernel state and the store.
#pragma once

// Re-applies the stored power-button and USB redirection settings; start-up goes on whatever
// their outcome.
void admin_policy_restore();
