#pragma once
// The SQL files of demo/schema and demo/data, compiled in.
namespace tavo::demo::embedded {
extern const char *const sqliteSchema;
extern const char *const postgresqlSchema;
extern const char *const sampleData;
} // namespace tavo::demo::embedded
