#include "platform/zarn_ui/search/search_catalog.h"

#include <sqlite3.h>

#include <algorithm>
#include <random>
#include <utility>

#include "platform/zarn_ui/search/normalize.h"

namespace zarn_ui::search::provider {
namespace {

struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

zarn::Error db_error(sqlite3* db, std::string_view what) {
  return zarn::make_error("search catalogue: " + std::string(what) + ": " + sqlite3_errmsg(db));
}

zarn::Result<Stmt> prepare(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
      SQLITE_OK) {
    return db_error(db, "prepare");
  }
  return Stmt(raw);
}

void bind_text(sqlite3_stmt* s, int index, std::string_view text) {
  sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string column_text(sqlite3_stmt* s, int index) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, index)))
           : std::string();
}

std::string trim_ascii_space(std::string s) {
  const auto is_space = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
  };
  auto end = s.end();
  while (end != s.begin() && is_space(*(end - 1))) --end;
  auto begin = s.begin();
  while (begin != end && is_space(*begin)) ++begin;
  return std::string(begin, end);
}

// One FTS5 phrase: the whole query as a run of consecutive trigrams, i.e. a substring.
std::string fts_phrase(std::string_view q) {
  std::string out = "\"";
  for (char c : q) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string like_pattern(std::string_view q) {
  std::string out = "%";
  for (char c : q) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  }
  out += '%';
  return out;
}

std::uint64_t random_instance() {
  std::random_device rd;
  return (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
}

constexpr std::string_view kSchema =
    "CREATE TABLE entry(id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, title TEXT NOT NULL,"
    " section TEXT NOT NULL, action TEXT NOT NULL, detail TEXT, code INTEGER,"
    " text_bytes INTEGER NOT NULL);"
    "CREATE VIRTUAL TABLE fts USING fts5(text, tokenize='trigram case_sensitive 1');";

constexpr std::string_view kColumns =
    "SELECT e.key, e.title, e.section, e.action, e.detail, e.code FROM fts"
    " JOIN entry e ON e.id = fts.rowid ";

}  // namespace

struct SearchCatalog::Db {
  sqlite3* db = nullptr;
  Stmt find_key;
  Stmt insert_entry;
  Stmt update_entry;
  Stmt delete_fts;
  Stmt insert_fts;
  ~Db() {
    find_key.reset();
    insert_entry.reset();
    update_entry.reset();
    delete_fts.reset();
    insert_fts.reset();
    if (db != nullptr) sqlite3_close(db);
  }
};

SearchCatalog::SearchCatalog(std::string name, std::unique_ptr<Db> db, std::uint64_t instance)
    : name_(std::move(name)), db_(std::move(db)), instance_(instance) {}
SearchCatalog::SearchCatalog(SearchCatalog&&) noexcept = default;
SearchCatalog& SearchCatalog::operator=(SearchCatalog&&) noexcept = default;
SearchCatalog::~SearchCatalog() = default;

zarn::Result<SearchCatalog> SearchCatalog::create(std::string name) {
  auto db = std::make_unique<Db>();
  const int flags =
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(":memory:", &db->db, flags, nullptr) != SQLITE_OK) {
    return db_error(db->db, "open");
  }
  if (sqlite3_exec(db->db, std::string(kSchema).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return db_error(db->db, "schema");
  }
  struct Prep {
    Stmt* into;
    std::string_view sql;
  };
  const Prep preps[] = {
      {&db->find_key, "SELECT id, text_bytes FROM entry WHERE key = ?1"},
      {&db->insert_entry,
       "INSERT INTO entry(key, title, section, action, detail, code, text_bytes)"
       " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)"},
      {&db->update_entry,
       "UPDATE entry SET title = ?2, section = ?3, action = ?4, detail = ?5, code = ?6,"
       " text_bytes = ?7 WHERE id = ?1"},
      {&db->delete_fts, "DELETE FROM fts WHERE rowid = ?1"},
      {&db->insert_fts, "INSERT INTO fts(rowid, text) VALUES(?1, ?2)"},
  };
  for (const auto& p : preps) {
    auto stmt = prepare(db->db, p.sql);
    if (!stmt) return std::move(stmt).take_error();
    *p.into = std::move(stmt.value());
  }
  return SearchCatalog(std::move(name), std::move(db), random_instance());
}

zarn::Result<void> SearchCatalog::begin_batch() {
  if (sqlite3_exec(db_->db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return db_error(db_->db, "begin");
  }
  return zarn::ok();
}

zarn::Result<void> SearchCatalog::end_batch() {
  if (sqlite3_exec(db_->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return db_error(db_->db, "commit");
  }
  return zarn::ok();
}

zarn::Result<void> SearchCatalog::insert(std::string_view key, std::string_view text,
                                         SearchResult result) {
  const std::string normal = normalize_text(text);
  sqlite3* db = db_->db;

  sqlite3_stmt* find = db_->find_key.get();
  sqlite3_reset(find);
  bind_text(find, 1, key);
  std::optional<sqlite3_int64> existing;
  std::size_t old_bytes = 0;
  if (sqlite3_step(find) == SQLITE_ROW) {
    existing = sqlite3_column_int64(find, 0);
    old_bytes = static_cast<std::size_t>(sqlite3_column_int64(find, 1));
  }
  sqlite3_reset(find);

  // Either both tables change or neither does.
  const bool own_txn = sqlite3_get_autocommit(db) != 0;
  if (own_txn) ZARN_TRY(begin_batch());
  auto fail = [&](std::string_view what) -> zarn::Result<void> {
    zarn::Error e = db_error(db, what);
    if (own_txn) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return e;
  };

  sqlite3_stmt* write = existing ? db_->update_entry.get() : db_->insert_entry.get();
  sqlite3_reset(write);
  if (existing) {
    sqlite3_bind_int64(write, 1, *existing);
  } else {
    bind_text(write, 1, key);
  }
  bind_text(write, 2, result.title);
  bind_text(write, 3, result.section);
  bind_text(write, 4, result.action);
  if (result.detail) {
    bind_text(write, 5, *result.detail);
  } else {
    sqlite3_bind_null(write, 5);
  }
  if (result.code) {
    sqlite3_bind_int(write, 6, *result.code);
  } else {
    sqlite3_bind_null(write, 6);
  }
  sqlite3_bind_int64(write, 7, static_cast<sqlite3_int64>(normal.size()));
  if (sqlite3_step(write) != SQLITE_DONE) return fail("write entry");
  sqlite3_reset(write);
  const sqlite3_int64 id = existing ? *existing : sqlite3_last_insert_rowid(db);

  if (existing) {
    sqlite3_stmt* del = db_->delete_fts.get();
    sqlite3_reset(del);
    sqlite3_bind_int64(del, 1, id);
    if (sqlite3_step(del) != SQLITE_DONE) return fail("unindex");
    sqlite3_reset(del);
  }
  sqlite3_stmt* index = db_->insert_fts.get();
  sqlite3_reset(index);
  sqlite3_bind_int64(index, 1, id);
  bind_text(index, 2, normal);
  if (sqlite3_step(index) != SQLITE_DONE) return fail("index");
  sqlite3_reset(index);

  if (own_txn) ZARN_TRY(end_batch());
  text_bytes_ = text_bytes_ - old_bytes + normal.size();
  ++generation_;
  return zarn::ok();
}

zarn::Result<SearchPage> SearchCatalog::query_page(std::string_view text,
                                                   const std::optional<SearchCursor>& cursor,
                                                   PageArgs args) const {
  const std::string q = trim_ascii_space(normalize_text(text));
  std::size_t offset = 0;
  if (cursor) {
    if (!cursor_is_current(*cursor)) {
      return zarn::make_error("search catalogue: the cursor is out of date");
    }
    if (cursor->query != q) {
      return zarn::make_error("search catalogue: the cursor belongs to another query");
    }
    offset = cursor->offset;
  }
  SearchPage page;
  if (q.empty() || offset >= args.limit || args.page_size == 0) return page;
  const std::size_t want = std::min(args.page_size, args.limit - offset);

  sqlite3* db = db_->db;
  const bool short_query = scalar_count(q) < 3;
  std::string sql(kColumns);
  sql += short_query ? "WHERE fts.text LIKE ?1 ESCAPE '\\' ORDER BY instr(fts.text, ?4) <> 1, e.id"
                     : "WHERE fts MATCH ?1 ORDER BY fts.rank, e.id";
  sql += " LIMIT ?2 OFFSET ?3";
  auto stmt = prepare(db, sql);
  if (!stmt) return std::move(stmt).take_error();
  sqlite3_stmt* s = stmt->get();
  bind_text(s, 1, short_query ? like_pattern(q) : fts_phrase(q));
  // One row beyond the page tells whether another page exists.
  sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(std::min<std::size_t>(want, INT32_MAX)) + 1);
  sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(std::min<std::size_t>(offset, INT64_MAX)));
  if (short_query) bind_text(s, 4, q);

  bool more = false;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    if (page.results.size() == want) {
      more = true;
      break;
    }
    SearchResult r;
    page.keys.push_back(column_text(s, 0));
    r.title = column_text(s, 1);
    r.section = column_text(s, 2);
    r.action = column_text(s, 3);
    if (sqlite3_column_type(s, 4) != SQLITE_NULL) r.detail = column_text(s, 4);
    if (sqlite3_column_type(s, 5) != SQLITE_NULL) {
      r.code = static_cast<std::uint8_t>(sqlite3_column_int(s, 5));
    }
    page.results.push_back(std::move(r));
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return db_error(db, "query");
  const std::size_t next_offset = offset + page.results.size();
  if (more && next_offset < args.limit) {
    page.next = SearchCursor{instance_, generation_, q, next_offset};
  }
  return page;
}

zarn::Result<CatalogStats> SearchCatalog::stats() const {
  auto stmt = prepare(db_->db, "SELECT count(*) FROM entry");
  if (!stmt) return std::move(stmt).take_error();
  if (sqlite3_step(stmt->get()) != SQLITE_ROW) return db_error(db_->db, "count");
  const auto entries = static_cast<std::size_t>(sqlite3_column_int64(stmt->get(), 0));
  return CatalogStats{name_, entries, text_bytes_, generation_};
}

bool SearchCatalog::cursor_is_current(const SearchCursor& cursor) const {
  return cursor.catalog == instance_ && cursor.generation == generation_;
}

}  // namespace zarn_ui::search::provider
