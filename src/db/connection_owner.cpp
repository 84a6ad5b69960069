#include "db/connection_owner.h"

#include <utility>

namespace vornetta::db {

TConnectionOwner::TConnectionOwner(std::function<std::string()> connectionString)
    : connectionString_(std::move(connectionString)) {}

TConnectionOwner::~TConnectionOwner() = default;

TDatenbankAdo& TConnectionOwner::Get() {
  if (!connection_) connection_ = std::make_unique<TDatenbankAdo>(connectionString_());
  return *connection_;
}

}  // namespace vornetta::db
