// Agent work records: the state a software agent's work is in, why it took its route, and the
// steps it performed. Plain values compared field by field; their JSON form lives in
// agent_work_json.h and their stored form in agent_work_store.h. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace chat::document {

struct AgentWorkState {
  struct Taken {
    bool operator==(const Taken&) const = default;
  };
  struct Waiting {
    std::string app;
    bool operator==(const Waiting&) const = default;
  };
  struct Doing {
    std::string did;
    std::string about;
    bool operator==(const Doing&) const = default;
  };
  struct Done {
    std::string did;
    bool operator==(const Done&) const = default;
  };
  struct Refused {
    bool operator==(const Refused&) const = default;
  };
  // Declaration order is the variant order.
  std::variant<Taken, Waiting, Doing, Done, Refused> value;
  bool operator==(const AgentWorkState&) const = default;
};

enum class AgentRoute { Model, Floor };

struct AgentReasoning {
  AgentRoute route = AgentRoute::Model;
  std::string why;
  bool operator==(const AgentReasoning&) const = default;
};

struct AgentStepOutcome {
  struct Asked {
    bool operator==(const Asked&) const = default;
  };
  struct Applied {
    bool operator==(const Applied&) const = default;
  };
  struct NoChange {
    bool operator==(const NoChange&) const = default;
  };
  struct Refused {
    std::string why;
    bool operator==(const Refused&) const = default;
  };
  std::variant<Asked, Applied, NoChange, Refused> value;
  bool operator==(const AgentStepOutcome&) const = default;
};

struct AgentStep {
  std::string id;  // empty: the step is never stored
  std::uint64_t sequence = 0;
  std::string resource;
  std::string label;
  AgentStepOutcome outcome;
  bool operator==(const AgentStep&) const = default;
};

struct AgentWork {
  AgentWorkState state;
  std::int64_t since = 0;  // supplied by the writer of the work; never interpreted
  std::optional<AgentReasoning> reasoning;
  std::vector<AgentStep> trace;
  bool operator==(const AgentWork&) const = default;
};

// State and time as one stored value.
struct StoredAgentTransition {
  AgentWorkState state;
  std::int64_t since = 0;
  bool operator==(const StoredAgentTransition&) const = default;
};

}  // namespace chat::document
