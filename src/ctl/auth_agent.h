// The text-console polkit agent corvoctl starts for itself, so an administrator at a
// terminal can type a password when the daemon's authority asks for one.
#pragma once

// Starts the agent for this process once, if the program is installed, and waits (a few
// seconds at most) until it has registered with the authority. Without the program, or when
// it fails, calls still go out; the authority then finds no agent and denies.
void ctl_auth_agent_start();
