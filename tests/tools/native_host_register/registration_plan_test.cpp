#include "native_host_register/change/registration_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/scratch_directory.h"

namespace orvix::register_tool {
namespace {

// Plans handed straight to plan_and_apply(), applied to files in a scratch
// folder. A step whose file lies below a file cannot be written on any
// system, so the plan fails there, after the steps before it were applied.
class RegistrationPlan : public platform::ScratchDirectory {
 protected:
  static Step write_step(const std::string& path, std::optional<std::string> value,
                         std::optional<std::string> previous) {
    Step step;
    step.path = path;
    step.value = std::move(value);
    step.previous = std::move(previous);
    return step;
  }

  // Applies `steps` (every file locked as the command would) and returns the
  // exit status, or the failure's text.
  std::string apply(std::vector<Step> steps) {
    Plan plan;
    for (const auto& step : steps) plan.files.push_back(step.path);
    plan.steps = std::move(steps);
    CommandLine line;
    std::ostringstream out;
    auto status = plan_and_apply([&plan](const std::vector<std::string>&) -> Result<Plan> { return plan; }, false,
                                 Roots{}, line, out);
    return status ? std::to_string(*status) : status.error().text;
  }

  bool exists(const std::string& file) const { return std::filesystem::exists(file); }
};

TEST_F(RegistrationPlan, AFailedStepPutsBackWhatTheStepsBeforeItChanged) {
  struct Case {
    const char* name;
    std::optional<std::string> value;     // the first step's: nothing removes the file
    std::optional<std::string> previous;  // what the file held before: nothing, no file
  };
  const Case cases[] = {
      {"a replaced file gets its old bytes back", "{\"new\":1}\n", "{\"old\":1}\r\n\xC3\xA9"},
      {"a removed file comes back", std::nullopt, "{\"old\":2}\n"},
      {"a new file goes again", "{\"new\":3}\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string first = path("first.json");
    const std::string not_a_folder = path("not a folder");
    const std::string blocked = (std::filesystem::path(not_a_folder) / "blocked.json").string();
    std::filesystem::remove_all(first);
    if (c.previous) write(first, *c.previous);
    write(not_a_folder, "bytes");

    const std::string failure =
        apply({write_step(first, c.value, c.previous), write_step(blocked, "{}", std::nullopt)});

    EXPECT_NE(failure.find("Cannot change " + blocked), std::string::npos) << failure;
    EXPECT_NE(failure.find("Nothing was changed."), std::string::npos) << failure;
    ASSERT_EQ(exists(first), c.previous.has_value());
    EXPECT_EQ(c.previous ? content_of(first) : "", c.previous.value_or(""));
    EXPECT_EQ(content_of(not_a_folder), "bytes");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_), {}), c.previous ? 2 : 1)
        << "no temporary is left behind";
  }
}

TEST_F(RegistrationPlan, StepsThatAllSucceedAreKept) {
  const std::string first = path("first.json");
  const std::string second = path("second.json");
  write(first, "old");
  EXPECT_EQ(apply({write_step(first, std::nullopt, "old"), write_step(second, "new", std::nullopt)}), "0");
  EXPECT_FALSE(exists(first));
  EXPECT_EQ(content_of(second), "new");
}

}  // namespace
}  // namespace orvix::register_tool
