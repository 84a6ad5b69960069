#include "dispatch/mail_connection_check.h"

#include "dispatch/email.h"
#include "dispatch/password_command.h"
#include "dispatch/send_command.h"

namespace vornetta::dispatch {

void CheckMailConnection(config::TMyIniFile& ini, const std::function<void(const std::string&)>& step,
                         smtp::TIdWaitHook* hook) {
  EMail job;
  TLoginCommands commands;
  ReadMailServer(ini, job, commands);
  job.WaitHook = hook;
  job.Probe(step);
}

}  // namespace vornetta::dispatch
