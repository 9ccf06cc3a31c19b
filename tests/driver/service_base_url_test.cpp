#include <gtest/gtest.h>

#include "driver/AppPlatform.h"
#include "driver/ServiceDescriptions.h"
#include "service/WebServiceInterface.h"

TEST(WebServiceInterface, BaseURLsAreTheCompiledInHostsByDefault) {
  platform::Environment environment;
  EXPECT_EQ(apiBaseURL(environment), kDefaultAPIBaseURL);
  EXPECT_EQ(codeMappingBaseURL(environment), kCodeMappingBaseURL);
  EXPECT_EQ(std::string(kDefaultAPIBaseURL).rfind("https://", 0), 0u);
  EXPECT_EQ(std::string(kCodeMappingBaseURL).rfind("https://", 0), 0u);
}

TEST(WebServiceInterface, EnvironmentReplacesEachBaseURLOnItsOwn) {
  platform::Environment environment{{"QUORVEX_API_BASE_URL", "http://127.0.0.1:1"}};
  EXPECT_EQ(apiBaseURL(environment), "http://127.0.0.1:1");
  EXPECT_EQ(codeMappingBaseURL(environment), kCodeMappingBaseURL);
  environment = {{"QUORVEX_CODE_MAPPING_BASE_URL", "https://symbols.example"}};
  EXPECT_EQ(apiBaseURL(environment), kDefaultAPIBaseURL);
  EXPECT_EQ(codeMappingBaseURL(environment), "https://symbols.example");
}

TEST(WebServiceInterface, EmptyOverrideKeepsTheCompiledInHost) {
  platform::Environment environment{{"QUORVEX_API_BASE_URL", ""},
                                    {"QUORVEX_CODE_MAPPING_BASE_URL", ""}};
  EXPECT_EQ(apiBaseURL(environment), kDefaultAPIBaseURL);
  EXPECT_EQ(codeMappingBaseURL(environment), kCodeMappingBaseURL);
}

TEST(WebServiceInterface, ClientIdentityComesFromTheToolsInformation) {
  EXPECT_EQ(clientDisplayVersion(), "1.3.17");
  EXPECT_EQ(clientBuildVersion(), "149");
  EXPECT_EQ(clientUserAgent(), "run/1.3.17");
  EXPECT_STREQ(kClientIdentifier, "com.quorvex.run");
  EXPECT_STREQ(kDeveloperToken, "c0ffee1d5ea5e0ffb0a7d1ce5ca1ab1e0bad5eed");
}

TEST(AppPlatform, MapsPlatformNamesWithoutRegardToCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"macosx", "mac"},        {"MacOSX", "mac"},          {"iphoneos", "ios"},
      {"iPhoneOS", "ios"},      {"iphonesimulator", "ios"}, {"iPhoneSimulator", "ios"},
      {"appletvos", "unknown"}, {"watchos", "unknown"},     {"macos", "unknown"},
      {" iphoneos", "unknown"}};
  for (const auto& [name, word] : cases)
    EXPECT_EQ(getAppPlatform({{"PLATFORM_NAME", name}}), word) << name;
}

TEST(AppPlatformDeathTest, MissingOrEmptyPlatformNameEndsTheRun) {
  EXPECT_EXIT(getAppPlatform({}), ::testing::ExitedWithCode(1),
              "\n\nBrantle: Failure determining project platform.\n");
  EXPECT_EXIT(getAppPlatform({{"PLATFORM_NAME", ""}}), ::testing::ExitedWithCode(1),
              "Failure determining project platform.");
}
