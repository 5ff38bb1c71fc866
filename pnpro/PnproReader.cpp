#include "pnpro/PnproReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <utility>
#include <vector>

#include "lang/Checker.h"
#include "peer/ConstantValue.h"
#include "peer/RewardNames.h"
#include "peer/TextPosition.h"
#include "pnpro/PnproExpression.h"

namespace {

struct ConstantNode {
  ValueType type = ValueType::kInt;
  std::string value;  // empty for templates
  std::string element;
  enum class State { kNew, kBusy, kDone } state = State::kNew;
  ConstantValue result;
};

struct Arc {
  std::string kind;
  std::string place;
  std::string mult;
  std::string element;
};

class PnproImporter {
 public:
  PnproImporter(const std::string& file_name, const ImportOptions& options)
      : file_(file_name), options_(options) {}

  ImportedModel Run(const std::string& text);

 private:
  bool Failed() const { return !result_.errors.empty(); }
  void Error(const std::string& element, const std::string& message) {
    if (Failed()) return;
    Diagnostic diagnostic;
    diagnostic.where.origin = file_ + ": " + element;
    diagnostic.message = message;
    result_.errors.push_back(std::move(diagnostic));
  }
  static std::string Element(const pugi::xml_node& node) {
    std::string text = std::string("<") + node.name();
    if (node.attribute("name")) {
      text += std::string(" name=\"") + node.attribute("name").value() + "\"";
    }
    if (std::string(node.name()) == "arc") {
      text += std::string(" tail=\"") + node.attribute("tail").value() +
              "\" head=\"" + node.attribute("head").value() + "\"";
    }
    return text + ">";
  }

  std::optional<ConstantValue> Resolve(const std::string& name);
  // Parses `text` from `element`'s attribute `attribute`; constants are
  // folded in, places stay names. With `marking_allowed` false, #P is an
  // error; in a `real_field` the division of two integers is not truncated.
  std::optional<PnproParse> Parse(const std::string& text,
                                  const std::string& element,
                                  const std::string& attribute,
                                  bool marking_allowed, bool real_field);
  std::optional<ConstantValue> ConstantOf(const std::string& text,
                                          const std::string& element,
                                          const std::string& attribute,
                                          ValueType wanted);
  void ReadNodes(const pugi::xml_node& nodes);
  void ReadArcs(const pugi::xml_node& edges);
  void AddTransition(const pugi::xml_node& node);
  void AddRewards();

  std::string file_;
  const ImportOptions& options_;
  ImportedModel result_;
  std::map<std::string, ConstantNode> constants_;
  std::vector<std::string> constant_order_;  // as the page declares them
  std::set<std::string> places_;
  std::map<std::string, std::vector<Arc>> arcs_;  // by transition
  std::vector<std::string> timed_;
  std::vector<std::string> immediate_;
  std::vector<std::string> all_transitions_;
};

ImportedModel PnproImporter::Run(const std::string& text) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size());
  if (!parsed) {
    Error(LineAndColumn(text, static_cast<std::size_t>(
                                  std::max<std::ptrdiff_t>(parsed.offset, 0))) +
              " (offset " + std::to_string(parsed.offset) + ")",
          std::string("not well-formed XML: ") + parsed.description());
    return std::move(result_);
  }
  const pugi::xml_node project = document.child("project");
  if (!project) {
    Error("<" + std::string(document.first_child().name()) + ">",
          "the root element must be <project>");
    return std::move(result_);
  }
  // XML allows one root element; the parser reads on past it.
  for (const pugi::xml_node other : document.children()) {
    if (other.type() == pugi::node_element && other != project) {
      Error(Element(other), "a second root element beside <project>");
      return std::move(result_);
    }
  }
  std::vector<pugi::xml_node> pages;
  for (const pugi::xml_node page : project.children("gspn")) {
    if (options_.page.empty() ||
        options_.page == page.attribute("name").value()) {
      pages.push_back(page);
    }
  }
  if (pages.empty()) {
    Error("<project>",
          options_.page.empty()
              ? "the project has no gspn page"
              : "the project has no gspn page named \"" + options_.page + "\"");
    return std::move(result_);
  }
  if (pages.size() > 1) {
    Error("<project>",
          "the project has several gspn pages: choose one with "
          "--page NAME");
    return std::move(result_);
  }
  const pugi::xml_node page = pages.front();
  result_.model.name = page.attribute("name").value();
  if (result_.model.name.empty()) result_.model.name = "gspn";
  result_.model.where = {file_ + ": " + Element(page), 0, 0};
  const pugi::xml_node nodes = page.child("nodes");
  const pugi::xml_node edges = page.child("edges");
  if (!nodes || !edges) {
    Error(Element(page), "a gspn page needs <nodes> and <edges>");
    return std::move(result_);
  }
  for (const pugi::xml_node part : {nodes, edges}) {
    if (part.next_sibling(part.name())) {
      // Only the first would be read.
      Error(Element(page), std::string("a gspn page has one <") + part.name() +
                               ">, not several");
      return std::move(result_);
    }
  }
  ReadNodes(nodes);
  if (!Failed()) ReadArcs(edges);
  if (!Failed()) {
    for (const pugi::xml_node node : nodes.children("transition")) {
      AddTransition(node);
      if (Failed()) break;
    }
  }
  if (!Failed()) AddRewards();
  if (Failed()) return std::move(result_);
  if (result_.model.places.empty()) {
    Error(Element(page), "the net has no place");
    return std::move(result_);
  }
  for (const std::string& name : constant_order_) {
    const ConstantNode& node = constants_.at(name);
    if (node.state == ConstantNode::State::kDone) {
      result_.constants.push_back({name, node.result});
    }
  }
  result_.errors = CheckModel(result_.model);
  return std::move(result_);
}

std::optional<ConstantValue> PnproImporter::Resolve(const std::string& name) {
  const auto found = constants_.find(name);
  if (found == constants_.end()) return std::nullopt;
  ConstantNode& node = found->second;
  if (node.state == ConstantNode::State::kDone) return node.result;
  if (node.state == ConstantNode::State::kBusy) {
    Error(node.element, "the value of '" + name + "' depends on itself");
    return std::nullopt;
  }
  node.state = ConstantNode::State::kBusy;
  std::optional<ConstantValue> value;
  if (node.value.empty()) {
    const auto given = options_.constants.find(name);
    if (given == options_.constants.end()) {
      Error(node.element, "template '" + name +
                              "' has no value: give one with --const " + name +
                              "=VALUE");
      return std::nullopt;
    }
    value = ParseConstantText(given->second, node.type);
    if (!value) {
      Error(node.element,
            "--const " + name + "=" + given->second + " is not " +
                (node.type == ValueType::kInt ? "a whole number" : "a number"));
      return std::nullopt;
    }
  } else {
    value = ConstantOf(node.value, node.element, "value", node.type);
  }
  if (!value) return std::nullopt;
  node.result = *value;
  node.result.type = node.type;
  node.state = ConstantNode::State::kDone;
  return node.result;
}

std::optional<PnproParse> PnproImporter::Parse(const std::string& text,
                                               const std::string& element,
                                               const std::string& attribute,
                                               bool marking_allowed,
                                               bool real_field) {
  PnproNames names;
  names.constant = [this](const std::string& name) -> std::optional<ValueType> {
    const auto found = constants_.find(name);
    if (found == constants_.end()) return std::nullopt;
    return found->second.type;
  };
  names.place = [this](const std::string& name) {
    return places_.count(name) != 0;
  };
  PnproParse parsed = ParsePnproExpression(text, names, real_field);
  if (!parsed.expr) {
    Error(element, attribute + ": " + parsed.error);
    return std::nullopt;
  }
  if (parsed.reads_marking && !marking_allowed) {
    Error(element,
          attribute + ": a marking (#) cannot be read here: \"" + text + "\"");
    return std::nullopt;
  }
  bool ok = true;
  ForEachName(*parsed.expr, [&](Expr& name) {
    if (!ok || places_.count(name.name) != 0) return;
    const std::optional<ConstantValue> value = Resolve(name.name);
    if (!value) {
      ok = false;
      return;
    }
    name.kind = ExprKind::kConstant;
    name.type = value->type;
    name.value = value->value;
  });
  if (!ok) return std::nullopt;
  if (!parsed.reads_marking) {
    // A constant expression becomes its value, so that the checks of signs
    // and zeros below see "1-2" and "0*1" as they see "-1" and "0".
    std::string error;
    const std::optional<ConstantValue> value = EvaluateConstant(
        *parsed.expr, [](const std::string&) { return std::nullopt; }, &error);
    if (!value) {
      Error(element, attribute + " \"" + text + "\": " + error);
      return std::nullopt;
    }
    parsed.expr = ConstantExpr(*value, parsed.expr->where);
  }
  return parsed;
}

std::optional<ConstantValue> PnproImporter::ConstantOf(
    const std::string& text, const std::string& element,
    const std::string& attribute, ValueType wanted) {
  std::optional<PnproParse> parsed =
      Parse(text, element, attribute, false, wanted == ValueType::kReal);
  if (!parsed) return std::nullopt;
  if (wanted == ValueType::kInt && parsed->type != ValueType::kInt) {
    Error(element, attribute + " \"" + text + "\" must be an integer");
    return std::nullopt;
  }
  if (wanted == ValueType::kBool && parsed->type != ValueType::kBool) {
    Error(element, attribute + " \"" + text + "\" must be True or False");
    return std::nullopt;
  }
  std::string error;
  std::optional<ConstantValue> value = EvaluateConstant(
      *parsed->expr, [](const std::string&) { return std::nullopt; }, &error);
  if (!value) Error(element, attribute + " \"" + text + "\": " + error);
  return value;
}

void PnproImporter::ReadNodes(const pugi::xml_node& nodes) {
  // Names first: constants may use constants declared later.
  for (const pugi::xml_node node : nodes.children()) {
    const std::string kind = node.name();
    const std::string name = node.attribute("name").value();
    const std::string element = Element(node);
    if (kind == "text-box") continue;
    if (kind == "color-class" || kind == "color-var") {
      Error(element, "coloured nets are not supported");
      return;
    }
    if (kind != "place" && kind != "transition" && kind != "constant" &&
        kind != "template") {
      Error(element, "unknown node <" + kind + ">");
      return;
    }
    if (name.empty()) {
      Error(element, "a node needs a name");
      return;
    }
    // Expressions could not name it, and the .states file and the reward
    // names are read by splitting at spaces and '='.
    const bool identifier =
        !std::isdigit(static_cast<unsigned char>(name[0])) &&
        std::all_of(name.begin(), name.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        });
    if (!identifier) {
      Error(element, "the name '" + name +
                         "' must be letters, digits and '_', not starting "
                         "with a digit");
      return;
    }
    if (places_.count(name) != 0 || constants_.count(name) != 0 ||
        std::find(all_transitions_.begin(), all_transitions_.end(), name) !=
            all_transitions_.end()) {
      Error(element, "the name '" + name + "' is used twice");
      return;
    }
    if (kind == "place") {
      if (node.attribute("domain")) {
        Error(element, "coloured places are not supported");
        return;
      }
      const std::string type = node.attribute("type").as_string("DISCRETE");
      if (type != "DISCRETE") {
        Error(element, "place type " + type + " is not supported");
        return;
      }
      places_.insert(name);
    } else if (kind == "transition") {
      all_transitions_.push_back(name);
    } else {
      ConstantNode constant;
      constant.element = element;
      const std::string type = kind == "constant"
                                   ? node.attribute("consttype").value()
                                   : node.attribute("type").value();
      if (type == "INTEGER") {
        constant.type = ValueType::kInt;
      } else if (type == "REAL") {
        constant.type = ValueType::kReal;
      } else {
        Error(element, "type \"" + type + "\" must be INTEGER or REAL");
        return;
      }
      if (kind == "constant") {
        constant.value = node.attribute("value").value();
        if (constant.value.empty()) {
          Error(element, "a constant needs a value");
          return;
        }
      }
      constants_[name] = constant;
      constant_order_.push_back(name);
    }
  }
  // A --const that sets nothing is a typo or a constant the file fixes;
  // either way the run would not use the value given.
  for (const auto& [name, value] : options_.constants) {
    const auto found = constants_.find(name);
    if (found == constants_.end()) {
      Error("--const",
            "--const " + name + ": the net has no template '" + name + "'");
      return;
    }
    if (!found->second.value.empty()) {
      Error(found->second.element,
            "constant '" + name +
                "' has a value in the net; --const cannot set it");
      return;
    }
  }
  for (const auto& [name, constant] : constants_) {
    if (!Resolve(name)) return;
  }
  for (const pugi::xml_node node : nodes.children("place")) {
    const std::string element = Element(node);
    const std::optional<ConstantValue> marking =
        ConstantOf(node.attribute("marking").as_string("0"), element, "marking",
                   ValueType::kInt);
    if (!marking) return;
    if (marking->value < 0 || marking->value > 32767) {
      Error(element,
            "marking " +
                std::to_string(static_cast<long long>(marking->value)) +
                " is outside 0..32767");
      return;
    }
    PlaceIr place;
    place.name = node.attribute("name").value();
    place.initial = IntConstant(static_cast<long long>(marking->value));
    place.where = {file_ + ": " + element, 0, 0};
    result_.model.places.push_back(std::move(place));
  }
}

void PnproImporter::ReadArcs(const pugi::xml_node& edges) {
  std::set<std::string> seen;
  for (const pugi::xml_node node : edges.children()) {
    if (node.type() != pugi::node_element) continue;
    if (std::string(node.name()) != "arc") {
      Error(Element(node), "unknown edge <" + std::string(node.name()) + ">");
      return;
    }
    const std::string element = Element(node);
    const char* kind_name = node.attribute("kind") ? "kind" : "type";
    std::string kind = node.attribute(kind_name).value();
    const std::string tail = node.attribute("tail").value();
    const std::string head = node.attribute("head").value();
    const char* mult_name = node.attribute("mult") ? "mult" : "multiplicity";
    Arc arc;
    arc.mult = node.attribute(mult_name).as_string("1");
    arc.element = element;
    const bool tail_place = places_.count(tail) != 0;
    const bool head_place = places_.count(head) != 0;
    auto transition = [&](const std::string& name) {
      return std::find(all_transitions_.begin(), all_transitions_.end(),
                       name) != all_transitions_.end();
    };
    std::string transition_name;
    if (kind == "INHIBITOR") {
      if (!tail_place || !transition(head)) {
        Error(element, "an inhibitor arc goes from a place to a transition");
        return;
      }
      arc.place = tail;
      transition_name = head;
    } else if (kind == "INPUT" || kind == "OUTPUT") {
      // The place's end decides the direction.
      if (tail_place && transition(head)) {
        kind = "INPUT";
        arc.place = tail;
        transition_name = head;
      } else if (head_place && transition(tail)) {
        kind = "OUTPUT";
        arc.place = head;
        transition_name = tail;
      } else {
        Error(element, "an arc joins a place and a transition");
        return;
      }
    } else {
      Error(element,
            "arc kind \"" + kind + "\" must be INPUT, OUTPUT or INHIBITOR");
      return;
    }
    arc.kind = kind;
    if (!seen.insert(kind + " " + arc.place + " " + transition_name).second) {
      Error(element, "a second " + kind + " arc between '" + arc.place +
                         "' and '" + transition_name + "'");
      return;
    }
    arcs_[transition_name].push_back(arc);
  }
}

// The enabling degree: the minimum over the input arcs whose multiplicity
// is positive in the marking. An arc whose multiplicity is 0 there is left
// out by giving it a term that cannot be the minimum: k for k servers, or
// 32767, the largest marking, for infinite servers. When every arc is left
// out, k servers are all busy, while an infinite-server transition has no
// rate: NaN, which generation reports with the transition and the marking.
ExprPtr Degree(std::vector<std::pair<ExprPtr, ExprPtr>> arcs,
               std::optional<long long> limit) {
  std::vector<ExprPtr> terms;
  ExprPtr any_positive;
  bool always_positive = false;
  for (auto& [term, mult] : arcs) {
    if (!mult) {
      always_positive = true;
      terms.push_back(std::move(term));
      continue;
    }
    ExprPtr positive = Binary(Op::kGreater, Clone(*mult), IntConstant(0));
    any_positive = any_positive ? Binary(Op::kOr, std::move(any_positive),
                                         Clone(*positive))
                                : Clone(*positive);
    terms.push_back(Condition(std::move(positive), std::move(term),
                              IntConstant(limit ? *limit : 32767)));
  }
  ExprPtr degree = terms.size() == 1 ? std::move(terms[0])
                                     : Call(Op::kMin, std::move(terms));
  if (!limit && !always_positive) {
    degree = Condition(std::move(any_positive), std::move(degree),
                       RealConstant(std::numeric_limits<double>::quiet_NaN()));
  }
  return degree;
}

ExprPtr And(ExprPtr a, ExprPtr b) {
  if (!a) return b;
  return Binary(Op::kAnd, std::move(a), std::move(b));
}

void PnproImporter::AddTransition(const pugi::xml_node& node) {
  const std::string element = Element(node);
  const SourceLocation where{file_ + ": " + element, 0, 0};
  const std::string name = node.attribute("name").value();
  const std::string type = node.attribute("type").value();
  ActivityIr activity;
  activity.name = name;
  activity.where = where;
  ExprPtr predicate;
  const std::string guard = node.attribute("guard").as_string("True");
  if (guard != "True") {
    std::optional<PnproParse> test =
        Parse(guard, element, "guard", true, false);
    if (!test) return;
    if (test->type != ValueType::kBool) {
      Error(element, "guard \"" + guard + "\" must be a boolean");
      return;
    }
    predicate = std::move(test->expr);
  }
  // Per input arc of a multiplicity that is not 0: marking div
  // multiplicity, and the multiplicity when it reads the marking (it may be
  // 0 in some markings, and the arc then counts for nothing).
  std::vector<std::pair<ExprPtr, ExprPtr>> degrees;
  // Arcs whose multiplicity reads the marking all see the marking before
  // the firing: they become one gate whose statements run in an order that
  // writes no place before every other statement has read it.
  bool marking_dependent = false;
  for (const Arc& arc : arcs_[name]) {
    marking_dependent =
        marking_dependent || arc.mult.find('#') != std::string::npos;
  }
  std::vector<StatementIr> pending;
  for (const Arc& arc : arcs_[name]) {
    std::optional<PnproParse> mult =
        Parse(arc.mult, arc.element, "mult", true, false);
    if (!mult) return;
    if (mult->type != ValueType::kInt) {
      Error(arc.element, "mult \"" + arc.mult + "\" must be an integer");
      return;
    }
    if (!mult->reads_marking && mult->expr->kind == ExprKind::kConstant &&
        mult->expr->value < 0) {
      Error(arc.element, "mult \"" + arc.mult + "\" is negative");
      return;
    }
    const bool one =
        mult->expr->kind == ExprKind::kConstant && mult->expr->value == 1.0;
    const SourceLocation at{file_ + ": " + arc.element, 0, 0};
    if (arc.kind == "INHIBITOR") {
      predicate =
          And(std::move(predicate),
              Binary(Op::kLess, NameRef(arc.place), std::move(mult->expr)));
      continue;
    }
    if (arc.kind == "INPUT" && !(mult->expr->kind == ExprKind::kConstant &&
                                 mult->expr->value == 0.0)) {
      degrees.emplace_back(
          one ? NameRef(arc.place)
              : Binary(Op::kIntDivide, NameRef(arc.place), Clone(*mult->expr)),
          mult->expr->kind == ExprKind::kConstant ? nullptr
                                                  : Clone(*mult->expr));
    }
    if (marking_dependent) {
      if (arc.kind == "INPUT") {
        predicate = And(
            std::move(predicate),
            Binary(Op::kGreaterEqual, NameRef(arc.place), Clone(*mult->expr)));
      }
      StatementIr statement;
      statement.kind = arc.kind == "INPUT" ? StatementIr::Kind::kSubtract
                                           : StatementIr::Kind::kAdd;
      statement.place = arc.place;
      if (mult->reads_marking) {
        // A multiplicity that is negative in a marking would move tokens
        // the other way. A whole number that is not one (NaN) makes the
        // firing stop generation, naming the transition, the place and the
        // marking.
        ExprPtr not_a_number =
            RealConstant(std::numeric_limits<double>::quiet_NaN());
        not_a_number->type = ValueType::kInt;
        ExprPtr negative =
            Binary(Op::kLess, Clone(*mult->expr), IntConstant(0));
        statement.value =
            Condition(std::move(negative), std::move(not_a_number),
                      std::move(mult->expr));
      } else {
        statement.value = std::move(mult->expr);
      }
      statement.where = at;
      pending.push_back(std::move(statement));
      continue;
    }
    ArcIr ir;
    ir.place = arc.place;
    ir.where = at;
    if (!one) ir.multiplicity = std::move(mult->expr);
    (arc.kind == "INPUT" ? activity.inputs : activity.outputs)
        .push_back(std::move(ir));
  }
  OutputGateIr arcs_gate;
  arcs_gate.where = where;
  while (!pending.empty()) {
    std::size_t next = 0;
    for (; next < pending.size(); ++next) {
      bool read = false;
      for (std::size_t k = 0; k < pending.size(); ++k) {
        if (k == next) continue;
        ForEachName(*pending[k].value, [&](Expr& used) {
          read = read || used.name == pending[next].place;
        });
      }
      if (!read) break;
    }
    if (next == pending.size()) {
      Error(element,
            "the arcs' multiplicities read each other's places in a "
            "cycle; this is not supported");
      return;
    }
    arcs_gate.function.push_back(std::move(pending[next]));
    pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(next));
  }
  if (!arcs_gate.function.empty()) {
    activity.output_gates.push_back(std::move(arcs_gate));
  }
  if (predicate) {
    InputGateIr gate;
    gate.predicate = std::move(predicate);
    gate.where = where;
    activity.input_gates.push_back(std::move(gate));
  }
  if (type == "IMM") {
    activity.kind = ActivityKind::kInstantaneous;
    std::optional<PnproParse> weight =
        Parse(node.attribute("weight").as_string("1.0"), element, "weight",
              true, true);
    if (!weight) return;
    if (weight->type == ValueType::kBool) {
      Error(element, "weight \"" +
                         std::string(node.attribute("weight").value()) +
                         "\" must be a number");
      return;
    }
    if (weight->expr->kind == ExprKind::kConstant && weight->expr->value <= 0) {
      Error(element, "weight must be positive, not " +
                         std::string(node.attribute("weight").value()));
      return;
    }
    const std::optional<ConstantValue> priority =
        ConstantOf(node.attribute("priority").as_string("1"), element,
                   "priority", ValueType::kInt);
    if (!priority) return;
    if (priority->value < 1) {
      Error(element, "priority " +
                         std::string(node.attribute("priority").value()) +
                         " must be at least 1");
      return;
    }
    if (weight->expr->kind != ExprKind::kConstant) {
      // A transition whose weight is 0 in a marking has no concession
      // there: it neither fires nor makes the marking vanishing, nor hides
      // the transitions of lower priorities.
      InputGateIr gate;
      gate.predicate =
          Binary(Op::kNotEqual, Clone(*weight->expr), IntConstant(0, where));
      gate.where = where;
      activity.input_gates.push_back(std::move(gate));
    }
    activity.weight = std::move(weight->expr);
    activity.rank = IntConstant(static_cast<long long>(priority->value));
    immediate_.push_back(name);
  } else if (type == "EXP") {
    activity.kind = ActivityKind::kExponential;
    const std::string delay_text = node.attribute("delay").as_string("1.0");
    std::optional<PnproParse> delay =
        Parse(delay_text, element, "delay", true, true);
    if (!delay) return;
    if (delay->type == ValueType::kBool) {
      Error(element, "delay \"" + delay_text + "\" must be a number");
      return;
    }
    if (delay->expr->kind == ExprKind::kConstant && delay->expr->value < 0) {
      Error(element, "delay \"" + delay_text + "\" is negative");
      return;
    }
    ExprPtr rate = std::move(delay->expr);
    // A marking-dependent delay is the total rate; otherwise the servers
    // multiply it by the enabling degree.
    if (!delay->reads_marking) {
      const std::string servers =
          node.attribute("nservers").as_string("Infinite");
      std::optional<long long> limit;
      if (servers != "Infinite") {
        const std::optional<ConstantValue> k =
            ConstantOf(servers, element, "nservers", ValueType::kInt);
        if (!k) return;
        if (k->value < 1) {
          Error(element, "nservers " + servers + " must be at least 1");
          return;
        }
        limit = static_cast<long long>(k->value);
      }
      if (degrees.empty() && !limit) {
        Error(element, "an infinite-server transition needs an input arc");
        return;
      }
      if (degrees.empty()) {
        // No input arc bounds the enabling degree: all k servers work.
        if (*limit > 1) {
          rate = Binary(Op::kMultiply, std::move(rate), IntConstant(*limit));
        }
      } else if (!limit || *limit > 1) {
        ExprPtr degree = Degree(std::move(degrees), limit);
        if (limit) {
          std::vector<ExprPtr> args;
          args.push_back(std::move(degree));
          args.push_back(IntConstant(*limit));
          degree = Call(Op::kMin, std::move(args));
        }
        rate = Binary(Op::kMultiply, std::move(rate), std::move(degree));
      }
    }
    activity.timing = std::move(rate);
    timed_.push_back(name);
  } else {
    Error(element,
          "transition type \"" + type + "\" is not supported (EXP or IMM)");
    return;
  }
  result_.model.activities.push_back(std::move(activity));
}

void PnproImporter::AddRewards() {
  std::vector<std::string> wanted;
  if (options_.rewards.empty()) {
    for (const PlaceIr& place : result_.model.places)
      wanted.push_back(place.name);
    for (const std::string& name : timed_) wanted.push_back("X_" + name);
  } else {
    // Every item counts, an empty one after a last comma too; getline
    // would drop that one.
    std::size_t start = 0;
    while (true) {
      const std::size_t comma = options_.rewards.find(',', start);
      wanted.push_back(options_.rewards.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    std::set<std::string> listed;
    for (const std::string& item : wanted) {
      if (!listed.insert(item).second) {
        Error("--rewards", "\"" + item + "\" is listed twice");
        return;
      }
    }
  }
  RewardNames names;
  for (const std::string& item : wanted) {
    const SourceLocation where{file_ + ": --rewards", 0, 0};
    RewardIr reward;
    reward.name = names.Unique(item);
    reward.where = where;
    const bool throughput = item.rfind("X_", 0) == 0 &&
                            (std::find(timed_.begin(), timed_.end(),
                                       item.substr(2)) != timed_.end() ||
                             std::find(immediate_.begin(), immediate_.end(),
                                       item.substr(2)) != immediate_.end());
    if (throughput && places_.count(item) != 0 && !options_.rewards.empty()) {
      // The default set lists the place first and the throughput renamed;
      // a name asked for must say which one it is.
      Error("--rewards", "\"" + item +
                             "\" is both a place and the throughput "
                             "of transition '" +
                             item.substr(2) + "': rename the place");
      return;
    }
    if (places_.count(item) != 0) {
      reward.rate = NameRef(item);
    } else if (throughput) {
      // An immediate transition's firings are counted at the rate of the
      // timed firings that set them off.
      ImpulseIr impulse;
      impulse.activity = item.substr(2);
      impulse.amount = RealConstant(1.0);
      impulse.where = where;
      reward.impulses.push_back(std::move(impulse));
    } else {
      Error("--rewards",
            "\"" + item + "\" is neither a place nor X_ and a transition");
      return;
    }
    result_.model.rewards.push_back(std::move(reward));
  }
}

}  // namespace

ImportedModel ReadPnpro(const std::string& text, const std::string& file_name,
                        const ImportOptions& options) {
  return PnproImporter(file_name, options).Run(text);
}
