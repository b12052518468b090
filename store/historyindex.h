#pragma once

class QSqlDatabase;

// The index that lets one logger's time range be read without scanning the whole table. It is
// an index only: the table and its create statement stay what the sibling programs know.
// Creating it on a large database that predates it takes a while, once.
bool ensureHistoryIndex(const QSqlDatabase &db);
