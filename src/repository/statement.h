// The objects one statement runs through: a Command over the repository's
// connection holding the statement's text, and a Recordset that takes its
// statement and connection from that Command when it is opened. Every
// operation that touches the repository makes its own pair and releases it
// (Recordset first, as the pair is declared Command first) before it returns.
#pragma once

#include "ado/ado.h"
#include "com/com_ptr.h"

namespace reconsider {

// Makes `command` and `recordset` and ties them to `connection` and `sql`;
// raises a ComError at the first failing call.
void PrepareStatement(const platform::ComPtr<platform::ado::Connection>& connection, const char* sql,
                      platform::ComPtr<platform::ado::Command>& command,
                      platform::ComPtr<platform::ado::Recordset>& recordset);

}  // namespace reconsider
