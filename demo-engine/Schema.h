#pragma once

namespace zqt::demo {

class Database;

// Creates the engine's tables when they do not exist yet. Safe to run on every start and from every connection.
void createSchema(Database& db);

} // namespace zqt::demo
