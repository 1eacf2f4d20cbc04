// The setup-corrupt error: message 149 of the active language, or the built-in text while that
// message is empty. Defined beside the message table.
#pragma once

[[noreturn]] void RaiseSetupCorrupt();
