// The data file: its exact bytes, opening checks and repair, finding, reading and closing.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "RecordDbTestUtil.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {
namespace {

using testing::I32At;
using testing::PhotoFields;
using testing::ReadAll;
using testing::TempFolder;
using testing::TextOf;
using testing::WriteAll;

DbOpenOptions ReadOnly() {
    DbOpenOptions o;
    o.readOnly = true;
    return o;
}

DbOpenOptions Alias(const char* alias) {
    DbOpenOptions o;
    o.alias = Text(alias);
    return o;
}

class DataFileTest : public ::testing::Test {
  protected:
    TempFolder dir;
    RecordEngine engine;
    Text db = dir / "1234.zdb";

    void AddIds(std::initializer_list<const char*> ids) {
        for (const char* id : ids) ASSERT_TRUE(engine.AddRecord({Text(id)})) << id;
    }
    Text FieldOfCurrent() { return TextOf(engine.ReadField(Text("photo_id"))); }
};

TEST_F(DataFileTest, NewDatabaseHasTheExactHeaderAndDescriptor) {
    ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
    EXPECT_EQ(LastDbError(), 0);
    std::string b = ReadAll(db);
    ASSERT_EQ(b.size(), 188u);
    EXPECT_EQ(b.substr(0, 4), "ZQDB");
    EXPECT_EQ(I32At(b, 4), 0x00010000);
    double created;
    std::memcpy(&created, b.data() + 8, 8);
    EXPECT_GT(created, 40000.0);  // a date after 2009
    EXPECT_EQ(I32At(b, 16), 0);
    EXPECT_EQ(I32At(b, 20), 1);
    EXPECT_EQ(I32At(b, 24), 24);
    EXPECT_EQ(b.substr(28, 84), std::string(84, '\0'));
    EXPECT_EQ(I32At(b, 112), 1);
    EXPECT_EQ(b.substr(116, 17), std::string("photo_id") + std::string(9, '\0'));
    EXPECT_EQ(b.substr(133, 3), std::string(3, '\0'));
    EXPECT_EQ(I32At(b, 136), 10);
    EXPECT_EQ(I32At(b, 140), 4);
    EXPECT_EQ(I32At(b, 144), 20);
    EXPECT_EQ(b.substr(148, 40), std::string(40, '\0'));
}

TEST_F(DataFileTest, TwoAddsGiveCountIdsAndPaddedText) {
    ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
    ASSERT_TRUE(engine.OpenDatabase(db));
    AddIds({"a1", "b2"});
    EXPECT_EQ(engine.CurrentRecord(), 1);
    ASSERT_TRUE(engine.CloseDatabase());
    std::string b = ReadAll(db);
    ASSERT_EQ(b.size(), 236u);
    EXPECT_EQ(I32At(b, 16), 2);
    EXPECT_EQ(I32At(b, 20), 3);
    EXPECT_EQ(I32At(b, 188), 1);
    EXPECT_EQ(b.substr(192, 20), std::string("a1") + std::string(18, '\0'));
    EXPECT_EQ(I32At(b, 212), 2);
    EXPECT_EQ(b.substr(216, 20), std::string("b2") + std::string(18, '\0'));
}

TEST_F(DataFileTest, DefaultExtensionIsAppended) {
    ASSERT_TRUE(engine.CreateDatabase(dir / "plain", PhotoFields()));
    ASSERT_TRUE(engine.CreateDatabase(dir / "dotted.", PhotoFields()));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "plain.ZDB"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "dotted.ZDB"));
    EXPECT_EQ(RecordEngine::IndexFileName(Text("42"), Text("/r/42.zdb")), Text("/r/42.ZDX"));
    EXPECT_EQ(RecordEngine::IndexFileName(Text("/x/ix.idx"), Text("/r/42.zdb")), Text("/x/ix.idx"));
}

TEST_F(DataFileTest, CreateRejectsBadFieldListsAndWritesNothing) {
    struct Case {
        std::vector<DbFieldSpec> fields;
        int code;
    };
    std::vector<Case> cases = {
        {{}, kDbNoFields},
        {{{Text(""), kFieldText, 20}}, kDbNoFields},
        {{{Text("1abc"), kFieldText, 20}}, kDbBadFieldName},
        {{{Text("abcdefghijklmnopq"), kFieldText, 20}}, kDbBadFieldName},  // 17 bytes
        {{{Text(".x"), kFieldInt, 0}}, kDbBadFieldName},
        {{{Text("a-b"), kFieldInt, 0}}, kDbBadFieldName},
        {{{Text("a"), 13, 0}}, kDbBadFieldType},
        {{{Text("a"), 0, 0}}, kDbBadFieldType},
        {{{Text("a"), kFieldText, 0}}, kDbBadFieldSize},
        {{{Text("a"), kFieldText, 1025}}, kDbBadFieldSize},
        {{{Text("Name"), kFieldInt, 0}, {Text("nAME"), kFieldByte, 0}}, kDbDuplicateField},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(engine.CreateDatabase(db, c.fields));
        EXPECT_EQ(LastDbError(), c.code);
        EXPECT_FALSE(std::filesystem::exists(ToPath(db)));
    }
    EXPECT_FALSE(engine.CreateDatabase(Text(""), PhotoFields()));
    EXPECT_EQ(LastDbError(), kDbFileNotFound);
    // Fields after an empty name are ignored; Chinese names are valid.
    ASSERT_TRUE(engine.CreateDatabase(
        db, {{"编号"_t, kFieldInt, 0}, {Text(""), kFieldInt, 0}, {Text("1bad"), 99, 0}}));
    EXPECT_EQ(ReadAll(db).size(), 116u + 72u);
}

TEST_F(DataFileTest, AllFieldTypesRoundTrip) {
    std::vector<DbFieldSpec> fields = {
        {Text("b"), kFieldByte, 0},    {Text("s"), kFieldShort, 0},
        {Text("i"), kFieldInt, 0},     {Text("l"), kFieldInt64, 0},
        {Text("f"), kFieldFloat, 0},   {Text("d"), kFieldDouble, 0},
        {Text("ok"), kFieldBool, 0},   {Text("t"), kFieldDateTime, 0},
        {Text("r"), kFieldRoutine, 0}, {Text("name"), kFieldText, 6},
    };
    ASSERT_TRUE(engine.CreateDatabase(db, fields));
    ASSERT_TRUE(engine.OpenDatabase(db));
    ASSERT_TRUE(
        engine.AddRecord({std::int64_t{200}, std::int64_t{-3}, 2.9, std::int64_t{1} << 40, 1.5,
                          -2.25, true, DateTime{45000.5}, std::int64_t{7}, "中文字符"_t}));
    EXPECT_EQ(std::get<std::int64_t>(engine.ReadField(1)), 200);
    EXPECT_EQ(std::get<std::int64_t>(engine.ReadField(2)), -3);
    EXPECT_EQ(std::get<std::int64_t>(engine.ReadField(3)), 2);
    EXPECT_EQ(std::get<std::int64_t>(engine.ReadField(4)), std::int64_t{1} << 40);
    EXPECT_EQ(std::get<double>(engine.ReadField(5)), 1.5);
    EXPECT_EQ(std::get<double>(engine.ReadField(6)), -2.25);
    EXPECT_TRUE(std::get<bool>(engine.ReadField(7)));
    EXPECT_EQ(std::get<DateTime>(engine.ReadField(8)).days, 45000.5);
    EXPECT_EQ(std::get<std::int64_t>(engine.ReadField(9)), 7);
    EXPECT_EQ(TextOf(engine.ReadField(Text("NAME"))), "中文字"_t);  // cut to 6 bytes
    EXPECT_FALSE(engine.AddRecord({Text("text in a byte field")}));
    EXPECT_EQ(LastDbError(), kDbValueType);
}

TEST_F(DataFileTest, OpenCutsAPartialRecordAndCorrectsTheCount) {
    ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
    ASSERT_TRUE(engine.OpenDatabase(db));
    AddIds({"a1", "b2", "c3"});
    ASSERT_TRUE(engine.CloseDatabase());
    std::string b = ReadAll(db);
    WriteAll(db, b.substr(0, 188 + 24 * 2 + 12));  // 2.5 records, header still says 3

    ASSERT_TRUE(engine.OpenDatabase(db, ReadOnly()) == false);
    EXPECT_EQ(LastDbError(), kDbDataSize);
    ASSERT_TRUE(engine.OpenDatabase(db));
    EXPECT_EQ(engine.RecordCount(), 2);
    ASSERT_TRUE(engine.CloseDatabase());
    b = ReadAll(db);
    EXPECT_EQ(b.size(), 188u + 48u);
    EXPECT_EQ(I32At(b, 16), 2);
    EXPECT_EQ(I32At(b, 20), 4);  // the next id is kept: ids are never reused

    // Bytes after the counted records (an append that did not finish) are dropped too.
    WriteAll(db, b + std::string(24, 'x'));
    ASSERT_TRUE(engine.OpenDatabase(db));
    EXPECT_EQ(engine.RecordCount(), 2);
    ASSERT_TRUE(engine.CloseDatabase());
    EXPECT_EQ(ReadAll(db).size(), 188u + 48u);
}

TEST_F(DataFileTest, OpenChecksTheFile) {
    ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
    std::string good = ReadAll(db);
    auto expectOpenFails = [&](std::string bytes, int code) {
        WriteAll(db, bytes);
        EXPECT_FALSE(engine.OpenDatabase(db));
        EXPECT_EQ(LastDbError(), code);
    };
    std::string bad = good;
    bad[0] = 'X';
    expectOpenFails(bad, kDbNotDatabase);
    expectOpenFails(good.substr(0, 100), kDbNotDatabase);
    bad = good;
    bad[6] = 2;  // version 0x00020000
    expectOpenFails(bad, kDbVersionTooNew);
    bad = good;
    bad[24] = 0;  // record length 0
    expectOpenFails(bad, kDbNotDatabase);
    bad = good;
    bad[112] = 50;  // more descriptors than the file holds
    expectOpenFails(bad, kDbNotDatabase);
    bad = good;
    bad[140] = 10;  // field offset 10: the text would end beyond the 24-byte record
    expectOpenFails(bad, kDbNotDatabase);

    EXPECT_FALSE(engine.OpenDatabase(dir / "missing.zdb"));
    EXPECT_EQ(LastDbError(), kDbFileNotFound);
    EXPECT_FALSE(engine.OpenDatabase(Text("")));
    EXPECT_EQ(LastDbError(), kDbFileNotFound);

    WriteAll(db, good);
    EXPECT_FALSE(engine.OpenDatabase(db, Alias("9lives")));
    EXPECT_EQ(LastDbError(), kDbBadAlias);
    ASSERT_TRUE(engine.OpenDatabase(db));
    EXPECT_FALSE(engine.OpenDatabase(db));
    EXPECT_EQ(LastDbError(), kDbAlreadyOpen);
}

TEST_F(DataFileTest, FindRecordScansFromTheCurrentRecord) {
    ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
    ASSERT_TRUE(engine.OpenDatabase(db));
    AddIds({"a", "b", "c", "b"});
    int examined = 0;
    auto is = [&](const char* id) {
        return [this, id, &examined] {
            ++examined;
            return TextOf(engine.ReadField(Text("photo_id"))) == Text(id);
        };
    };
    // After adding, the last record is current: only it is examined.
    EXPECT_FALSE(engine.FindRecord(is("a")));
    EXPECT_EQ(examined, 1);
    EXPECT_EQ(engine.CurrentRecord(), 3);
    EXPECT_EQ(FieldOfCurrent(), Text("b"));

    ASSERT_TRUE(engine.GoToRecord(0));
    EXPECT_TRUE(engine.FindRecord(is("b")));
    EXPECT_EQ(engine.CurrentRecord(), 1);
    EXPECT_TRUE(engine.FindRecord(is("b")));  // the current record itself qualifies
    EXPECT_EQ(engine.CurrentRecord(), 1);
    EXPECT_FALSE(engine.FindRecord(is("a")));  // before the current record: invisible
    EXPECT_EQ(engine.CurrentRecord(), 1);
    EXPECT_TRUE(engine.FindRecord(is("c")));
    EXPECT_EQ(engine.CurrentRecord(), 2);
}

TEST_F(DataFileTest, ReadFieldWithoutRecordOrDatabase) {
    ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
    ASSERT_TRUE(engine.OpenDatabase(db));
    EXPECT_EQ(TextOf(engine.ReadField(1)), Text(""));  // empty database: record 0 is not there
    EXPECT_EQ(LastDbError(), kDbNoCurrentRecord);
    // Which fields exist is up to the file: a missing one is an error, not the end.
    EXPECT_EQ(TextOf(engine.ReadField(Text("nope"))), Text(""));
    EXPECT_EQ(LastDbError(), kDbFieldNotFound);
    ASSERT_TRUE(engine.CloseDatabase());
    EXPECT_EXIT(engine.ReadField(1), ::testing::ExitedWithCode(255), "");
    EXPECT_FALSE(engine.AddRecord({Text("x")}));
    EXPECT_EQ(LastDbError(), kDbNoCurrentDatabase);
    EXPECT_FALSE(engine.FindRecord([] { return true; }));
    EXPECT_EQ(LastDbError(), kDbNoCurrentDatabase);
}

TEST_F(DataFileTest, CloseByNameKeepsTheRightDatabaseCurrent) {
    Text a = dir / "a.zdb", b = dir / "b.zdb", c = dir / "c.zdb";
    for (const Text& t : {a, b, c}) ASSERT_TRUE(engine.CreateDatabase(t, PhotoFields()));
    ASSERT_TRUE(engine.OpenDatabase(a, Alias("first")));
    ASSERT_TRUE(engine.OpenDatabase(b));
    ASSERT_TRUE(engine.OpenDatabase(c));
    EXPECT_EQ(engine.CurrentDatabasePath(), c);
    ASSERT_TRUE(engine.CloseDatabase(Text("FIRST")));  // by alias, case ignored
    EXPECT_EQ(engine.CurrentDatabasePath(), c);
    ASSERT_TRUE(engine.CloseDatabase(Text("B.ZDB")));  // by file name
    EXPECT_EQ(engine.CurrentDatabasePath(), c);
    EXPECT_FALSE(engine.CloseDatabase(Text("b.zdb")));
    ASSERT_TRUE(engine.CloseDatabase(c));  // by full path
    EXPECT_EQ(engine.CurrentDatabasePath(), Text(""));
    EXPECT_FALSE(engine.CloseDatabase());
    EXPECT_EQ(LastDbError(), kDbNoCurrentDatabase);
}

TEST_F(DataFileTest, LastErrorIsPerThread) {
    EXPECT_FALSE(engine.OpenDatabase(dir / "missing.zdb"));
    int other = 1;
    std::thread([&] { other = LastDbError(); }).join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(LastDbError(), kDbFileNotFound);
    EXPECT_EQ(DbErrorMessage(kDbFileNotFound), "指定文件未找到"_t);
}

}  // namespace
}  // namespace ovx
