#include "db/connection_owner.h"

#include <utility>

#include "db/database_error.h"
#include "platform/text.h"

namespace vornetta::db {

TConnectionOwner::TConnectionOwner(std::function<std::string()> connectionString)
    : connectionString_(std::move(connectionString)) {}

TConnectionOwner::~TConnectionOwner() = default;

TDatenbankAdo& TConnectionOwner::Get() {
  if (!connection_) {
    const std::string connectionString = connectionString_();
    // The driver manager would answer in English about a missing data source.
    if (platform::Trim(connectionString).empty())
      throw EDatabaseError("Keine Datenbankverbindung eingestellt (Reiter Datenbank).");
    connection_ = std::make_unique<TDatenbankAdo>(connectionString, Limits(), waiter_);
  }
  return *connection_;
}

}  // namespace vornetta::db
