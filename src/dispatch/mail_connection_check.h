// "Verbindung testen" of the page eMail and --smtp-test: the configured mail
// server is reached, encrypted and logged into as a send would, then left with
// QUIT; nothing is sent.
#pragma once

#include <functional>
#include <string>

#include "smtp/wait_hook.h"

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::dispatch {

// Tells each step to `step` in German (UTF-8) and returns once the server was
// left with QUIT. Throws the failure of the step that failed (settings,
// password or token command, connection, TLS, login), messages unchanged.
// `hook` runs between the slices of every wait for the server (null: whole waits).
void CheckMailConnection(config::TMyIniFile& ini, const std::function<void(const std::string&)>& step,
                         smtp::TIdWaitHook* hook = nullptr);

}  // namespace vornetta::dispatch
