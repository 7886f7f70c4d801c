// The archive's layout on a PostgreSQL server for a site: the tables of the
// SQLite archive in PostgreSQL's types, made by versioned migrations, and
// three group roles that match the program's roles, each granted what it
// needs. The audit trail takes no UPDATE and no DELETE from anyone: no role
// is granted them, and a trigger refuses them even to the tables' owner.
#pragma once

#include <string>

namespace oront::archive {

// The layout version the PostgreSQL migrations make (schema_migrations).
inline constexpr int kPostgresSchemaVersion = 2;

// The SQL an administrator of the site's server runs once (psql -f, as the
// owner of the database): the schema in the schema `oront`, the roles
// oront_operator, oront_reviewer and oront_administrator (NOLOGIN: the
// site grants them to its logins), and their grants. Running it again
// changes nothing.
std::string PostgresSetupSql();

}  // namespace oront::archive
