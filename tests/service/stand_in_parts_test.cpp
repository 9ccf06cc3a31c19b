// The web service stand-in's parts: the multipart splitter, the zip
// directory reader, the answer lists and the options.
#include <gtest/gtest.h>

#include "stand-ins/service/FaultPlan.h"
#include "stand-ins/service/MultipartStream.h"
#include "stand-ins/service/NameEscaping.h"
#include "stand-ins/service/Options.h"
#include "stand-ins/service/ZipDirectory.h"
#include "tests/support/TestSupport.h"

using standin::MultipartStream;
using testsupport::TempDir;

namespace {

const std::string kBody =
    "MIME-Version: 1.0\r\n"
    "--AaB03x\r\nContent-Disposition: form-data; name=\"code_mapping[type]\"\r\n"
    "Content-Type: text/plain\r\n\r\ndsym\r\n"
    "--AaB03x\r\nContent-Disposition: form-data; name=\"code_mapping[file]\"; "
    "filename=\"N.zip\"\r\n"
    "Content-Type: application/zip\r\nContent-Transfer-Encoding: binary\r\n\r\n"
    "PK\r\n--AaB03 not yet\r\n\r\n"
    "--AaB03x--\r\n";

// Feeds the body in pieces of the given size.
void feedInPieces(MultipartStream& stream, const std::string& body, size_t piece) {
  for (size_t at = 0; at < body.size(); at += piece)
    stream.feed(body.data() + at, std::min(piece, body.size() - at));
}

}  // namespace

TEST(MultipartStream, SplitsTheToolsBodyWhateverThePieceSize) {
  for (size_t piece : {1u, 2u, 3u, 7u, 11u, 64u, 4096u}) {
    MultipartStream stream("AaB03x", nullptr);
    feedInPieces(stream, kBody, piece);
    ASSERT_TRUE(stream.finish()) << stream.error() << " piece " << piece;
    EXPECT_EQ(stream.preamble(), "MIME-Version: 1.0");
    ASSERT_EQ(stream.parts().size(), 2u);
    EXPECT_EQ(stream.parts()[0].name, "code_mapping[type]");
    EXPECT_EQ(stream.parts()[0].value, "dsym");
    EXPECT_EQ(stream.parts()[1].filename, "N.zip");
    EXPECT_EQ(stream.parts()[1].value, "PK\r\n--AaB03 not yet\r\n");
    EXPECT_EQ(stream.parts()[1].headerLines.size(), 3u);
    EXPECT_EQ(stream.epilogue(), "\r\n");
  }
}

TEST(MultipartStream, WritesFilePartsToTheOpenedFile) {
  TempDir dir;
  std::string path = dir / "part";
  MultipartStream stream("AaB03x", [&](const standin::FormPart& part) -> std::FILE* {
    EXPECT_EQ(part.filename, "N.zip");
    return std::fopen(path.c_str(), "wb");
  });
  feedInPieces(stream, kBody, 5);
  ASSERT_TRUE(stream.finish());
  EXPECT_TRUE(stream.parts()[1].streamed);
  EXPECT_EQ(stream.parts()[1].size, 21u);
  EXPECT_EQ(stream.parts()[1].value, "");
  EXPECT_EQ(testsupport::readFile(path), "PK\r\n--AaB03 not yet\r\n");
}

TEST(MultipartStream, BodyWithoutPreambleHasAnEmptyOne) {
  MultipartStream stream("b", nullptr);
  std::string body = "--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nv\r\n--b--\r\n";
  stream.feed(body.data(), body.size());
  ASSERT_TRUE(stream.finish());
  EXPECT_EQ(stream.preamble(), "");
  ASSERT_EQ(stream.parts().size(), 1u);
  EXPECT_EQ(stream.parts()[0].value, "v");
}

TEST(MultipartStream, BodyCutBeforeItsClosingDelimiterIsMalformed) {
  MultipartStream stream("AaB03x", nullptr);
  std::string cut = kBody.substr(0, kBody.size() - 12);
  stream.feed(cut.data(), cut.size());
  EXPECT_FALSE(stream.finish());
  EXPECT_NE(stream.error(), "");
}

TEST(MultipartStream, PartWithoutDispositionIsMalformed) {
  MultipartStream stream("AaB03x", nullptr);
  std::string body = "--AaB03x\r\nContent-Type: text/plain\r\n\r\nv\r\n--AaB03x--\r\n";
  EXPECT_FALSE(stream.feed(body.data(), body.size()));
  EXPECT_NE(stream.error().find("Content-Disposition"), std::string::npos);
}

TEST(ZipDirectory, ReadsTheEntriesZipWrites) {
  TempDir dir;
  testsupport::writeFile(dir / "src/App.app.dSYM/Contents/Info.plist", "plist");
  testsupport::writeFile(dir / "src/App.app.dSYM/Contents/Resources/DWARF/App", "dwarf");
  auto zipped = testsupport::runProcess(
      {"/usr/bin/zip", "-r", "-y", "-q", dir / "a.zip", "App.app.dSYM"}, {}, dir / "src");
  ASSERT_EQ(zipped.status, 0) << zipped.err;
  std::string error;
  auto names = standin::zipEntryNames(dir / "a.zip", &error);
  ASSERT_TRUE(names) << error;
  EXPECT_EQ(names->front(), "App.app.dSYM/");
  EXPECT_NE(std::find(names->begin(), names->end(), "App.app.dSYM/Contents/Resources/DWARF/App"),
            names->end());
  EXPECT_EQ(standin::dsymTopFolder(*names, &error), "App.app.dSYM/");
}

TEST(ZipDirectory, ZipWithoutTheFolderItselfHasNoDSYMTop) {
  TempDir dir;
  testsupport::writeFile(dir / "src/App.app.dSYM/Contents/Info.plist", "plist");
  auto zipped = testsupport::runProcess({"/usr/bin/zip", "-r", "-q", dir / "a.zip", "Contents"}, {},
                                        dir / "src/App.app.dSYM");
  ASSERT_EQ(zipped.status, 0) << zipped.err;
  std::string error;
  auto names = standin::zipEntryNames(dir / "a.zip", &error);
  ASSERT_TRUE(names);
  EXPECT_EQ(standin::dsymTopFolder(*names, &error), "");
  EXPECT_NE(error.find("Contents/"), std::string::npos);
}

TEST(ZipDirectory, FileThatIsNoZipHasNoEntries) {
  TempDir dir;
  testsupport::writeFile(dir / "a.zip", std::string(1000, 'x'));
  std::string error;
  EXPECT_FALSE(standin::zipEntryNames(dir / "a.zip", &error));
  EXPECT_NE(error, "");
}

// Names the archiver stores as raw bytes go into the JSON record escaped;
// well-formed UTF-8 stays as it is.
TEST(NameEscaping, EscapesEachByteThatIsNoPartOfWellFormedUTF8) {
  const std::pair<std::string, std::string> rows[] = {
      {"App.app.dSYM/", "App.app.dSYM/"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"bad\xFF\xFEname", "bad\\xFF\\xFEname"},
      {"cut\xC3", "cut\\xC3"},
      {"overlong\xC0\xAF", "overlong\\xC0\\xAF"},
      {"surrogate\xED\xA0\x80", "surrogate\\xED\\xA0\\x80"}};
  for (const auto& [name, escaped] : rows)
    EXPECT_EQ(standin::escapedName(name), escaped) << escaped;
}

TEST(FaultPlan, ParsesStatusesDelaysDropsAndStalls) {
  auto answers = standin::parseAnswers("500,200@1500,drop,stall");
  ASSERT_TRUE(answers);
  ASSERT_EQ(answers->size(), 4u);
  EXPECT_EQ((*answers)[0].status, 500);
  EXPECT_EQ((*answers)[1].delayMilliseconds, 1500);
  EXPECT_EQ((*answers)[2].kind, standin::Answer::Kind::Drop);
  EXPECT_EQ((*answers)[3].kind, standin::Answer::Kind::Stall);
  EXPECT_FALSE(standin::parseAnswers("20x"));
  EXPECT_FALSE(standin::parseAnswers("99"));
}

TEST(FaultPlan, AttemptsBeyondTheListGet201) {
  standin::FaultPlan plan(*standin::parseAnswers("500"));
  auto first = plan.next();
  auto second = plan.next();
  EXPECT_EQ(first.first, 1);
  EXPECT_EQ(first.second.status, 500);
  EXPECT_EQ(second.first, 2);
  EXPECT_EQ(second.second.status, 201);
}

TEST(Options, ReadRateIsAWholeNumberOfBytesPerSecond) {
  std::string error;
  auto options = standin::parseOptions({"--read-rate", "12500000"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->readBytesPerSecond, 12500000);
  EXPECT_EQ(standin::parseOptions({}, &error)->readBytesPerSecond, 0);
  for (const char* malformed : {"-1", "fast", "12.5", "", "99999999999"})
    EXPECT_FALSE(standin::parseOptions({"--read-rate", malformed}, &error)) << malformed;
}
