#include "platform/form.h"

#include <cstdint>
#include <limits>
#include <map>

#include "platform/resource.h"
#include "platform/text.h"

namespace platform::form {

using Classes::TComponent;
using namespace platform::component;

namespace {

// ---- Tokens ------------------------------------------------------------------------------------------------------

enum class Tok { Name, Number, String, Colon, Equals, Open, Close, Comma };

struct Token {
  Tok kind;
  std::string text;         // Name: the identifier (maybe dotted); String: the UTF-8 content
  std::int64_t number = 0;  // Number
};

// Thrown inside the parser, turned into EFormError with the file name.
struct ParseError {
  int line;
  std::string message;
};

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an integer at `i` (after an optional '-'); int32 range as the format describes.
std::int64_t ReadNumber(std::string_view s, size_t& i, int line) {
  bool negative = s[i] == '-';
  if (negative) ++i;
  bool hex = i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
  if (hex) i += 2;
  const size_t start = i;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = std::uint64_t{1} << 32;
  for (; i < s.size() && IsNameChar(s[i]); ++i) {
    int d = hex ? HexDigit(s[i]) : (IsDigit(s[i]) ? s[i] - '0' : -1);
    if (d < 0) throw ParseError{line, "bad number"};
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(d);
    if (magnitude > limit) throw ParseError{line, "integer out of range"};
  }
  if (i == start) throw ParseError{line, "bad number"};
  const std::uint64_t maxPositive = hex && !negative ? 0xFFFFFFFFu : 0x7FFFFFFFu;
  if (negative ? magnitude > 0x80000000u : magnitude > maxPositive) throw ParseError{line, "integer out of range"};
  if (negative) return -static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));  // 0xFFFFFFFF is -1
}

std::string ReadString(std::string_view s, size_t& i, int line) {
  std::string out;
  for (++i; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      ++i;
      return out;
    }
    if (c == '\\') {
      if (i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) {
        out += s[++i];
        continue;
      }
      throw ParseError{line, "unknown escape in string (only \\\" and \\\\)"};
    }
    out += c;
  }
  throw ParseError{line, "unterminated string"};
}

std::vector<Token> Tokenize(std::string_view s, int line) {
  static const std::map<char, Tok> kPunct = {
      {':', Tok::Colon}, {'=', Tok::Equals}, {'[', Tok::Open}, {']', Tok::Close}, {',', Tok::Comma}};
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      tokens.push_back({Tok::String, ReadString(s, i, line)});
    } else if (IsDigit(c) || c == '-') {
      tokens.push_back({Tok::Number, {}, ReadNumber(s, i, line)});
    } else if (IsNameStart(c)) {
      size_t start = i;
      while (i < s.size() && (IsNameChar(s[i]) || (s[i] == '.' && i + 1 < s.size() && IsNameStart(s[i + 1])))) ++i;
      tokens.push_back({Tok::Name, std::string(s.substr(start, i - start))});
    } else if (auto p = kPunct.find(c); p != kPunct.end()) {
      tokens.push_back({p->second, std::string(1, c)});
      ++i;
    } else {
      throw ParseError{line, std::string("unexpected character '") + c + "'"};
    }
  }
  return tokens;
}

bool IsPlainName(const Token& t) { return t.kind == Tok::Name && t.text.find('.') == std::string::npos; }

// ---- The parsed form -------------------------------------------------------------------------------------------

struct Assignment {
  int line = 0;
  std::string name;
  std::vector<Token> value;  // the tokens after '='
  // Resolved:
  const PropertyInfo* property = nullptr;
  const EventInfo* event = nullptr;
  const HandlerInfo* handler = nullptr;
  Value resolved;
  int component = -1;  // for component references: the index of the object
};

struct Object {
  int line = 0;
  std::string name;
  std::string className;
  int parent = -1;  // index of the enclosing object; -1 for top-level objects
  std::vector<Assignment> assignments;
  const ClassInfo* cls = nullptr;
};

struct Form {
  int line = 0;
  std::string name;
  std::string screenClass;
  std::vector<Object> objects;  // document order
  const ScreenInfo* screen = nullptr;
};

// `<keyword> <Name> : <Class>`
void ReadHeader(const std::vector<Token>& t, int line, const char* what, std::string& name, std::string& cls) {
  if (t.size() != 4 || !IsPlainName(t[1]) || t[2].kind != Tok::Colon || !IsPlainName(t[3]))
    throw ParseError{line, std::string("expected '") + what + "'"};
  name = t[1].text;
  cls = t[3].text;
}

Form Parse(std::string_view text) {
  Form form;
  std::vector<int> open;  // the objects being read, innermost last
  bool inForm = false, formDone = false;
  int line = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::vector<Token> t = Tokenize(text.substr(pos, eol - pos), ++line);
    pos = eol + 1;
    if (t.empty()) continue;
    if (formDone) throw ParseError{line, "text after the end of the form"};
    const bool keyword = t[0].kind == Tok::Name;
    if (!inForm) {
      if (!keyword || t[0].text != "form") throw ParseError{line, "expected 'form <Name> : <ScreenClass>'"};
      ReadHeader(t, line, "form <Name> : <ScreenClass>", form.name, form.screenClass);
      form.line = line;
      inForm = true;
    } else if (keyword && t[0].text == "object") {
      Object obj;
      obj.line = line;
      obj.parent = open.empty() ? -1 : open.back();
      ReadHeader(t, line, "object <Name> : <Class>", obj.name, obj.className);
      form.objects.push_back(std::move(obj));
      open.push_back(static_cast<int>(form.objects.size()) - 1);
    } else if (keyword && t[0].text == "end") {
      if (t.size() != 1) throw ParseError{line, "unexpected text after 'end'"};
      if (open.empty())
        formDone = true;
      else
        open.pop_back();
    } else if (keyword && t.size() >= 2 && t[1].kind == Tok::Equals) {
      if (open.empty()) throw ParseError{line, "properties belong inside an object"};
      if (t.size() == 2) throw ParseError{line, t[0].text + ": missing value"};
      Assignment a;
      a.line = line;
      a.name = t[0].text;
      a.value.assign(t.begin() + 2, t.end());
      form.objects[static_cast<size_t>(open.back())].assignments.push_back(std::move(a));
    } else {
      throw ParseError{line, "expected 'object', 'end' or '<Property> = <value>'"};
    }
  }
  if (!inForm) throw ParseError{line == 0 ? 1 : line, "expected 'form <Name> : <ScreenClass>'"};
  if (!open.empty()) {
    const Object& o = form.objects[static_cast<size_t>(open.back())];
    throw ParseError{o.line, "object " + o.name + " has no 'end'"};
  }
  if (!formDone) throw ParseError{form.line, "form " + form.name + " has no 'end'"};
  return form;
}

// ---- Checking against the registry -----------------------------------------------------------------------------

std::string ClassNameOf(std::type_index type) {
  const ClassInfo* c = FindClassByType(type);
  return c != nullptr ? c->name : std::string("(unregistered class)");
}

std::string JoinNames(const NameTable& names) {
  std::string out;
  for (const auto& [id, value] : names) out += (out.empty() ? "" : ", ") + id;
  return out;
}

const int* Lookup(const NameTable& names, const std::string& id) {
  for (const auto& entry : names)
    if (entry.first == id) return &entry.second;
  return nullptr;
}

class Checker {
public:
  Checker(Form& form, const TComponent& screen) : form_(form), screen_(screen) {}

  void Run() {
    CheckScreen();
    for (size_t i = 0; i < form_.objects.size(); ++i) CheckObject(form_.objects[i]);
    for (Object& obj : form_.objects) {
      CheckNesting(obj);
      std::map<std::string, int> seen;
      for (Assignment& a : obj.assignments) {
        if (auto [it, fresh] = seen.emplace(a.name, a.line); !fresh)
          throw ParseError{a.line, a.name + " is set twice (first at line " + std::to_string(it->second) + ")"};
        CheckAssignment(obj, a);
      }
    }
    CheckFields();
  }

private:
  void CheckScreen() {
    form_.screen = FindScreen(form_.screenClass);
    if (form_.screen == nullptr) throw ParseError{form_.line, "unknown screen class " + form_.screenClass};
    if (!form_.screen->isA(screen_)) throw ParseError{form_.line, "the screen is not a " + form_.screenClass};
  }

  void CheckObject(Object& obj) {
    if (auto [it, fresh] = names_.emplace(obj.name, static_cast<int>(&obj - form_.objects.data())); !fresh)
      throw ParseError{obj.line, "duplicate component name " + obj.name + " (first at line " +
                                     std::to_string(form_.objects[static_cast<size_t>(it->second)].line) + ")"};
    if (screen_.FindComponent(obj.name) != nullptr)
      throw ParseError{obj.line, "duplicate component name " + obj.name + " (the screen already has one)"};
    obj.cls = FindClass(obj.className);
    if (obj.cls == nullptr) throw ParseError{obj.line, "unknown class " + obj.className};
    if (!obj.cls->create) throw ParseError{obj.line, "class " + obj.className + " cannot be created"};
    if (std::string missing = MissingBase(*obj.cls); !missing.empty())
      throw ParseError{obj.line, "class " + obj.className + ": base class " + missing + " is not registered"};
  }

  void CheckNesting(const Object& obj) {
    if (obj.parent < 0) return;
    const Object& parent = form_.objects[static_cast<size_t>(obj.parent)];
    const ClassInfo* link = FindParentLink(*obj.cls);
    if (link == nullptr || !InheritsFrom(*parent.cls, link->parentType))
      throw ParseError{obj.line, obj.name + " (" + obj.className + ") cannot be placed inside " + parent.name +
                                     " (" + parent.className + ")"};
  }

  void CheckAssignment(const Object& obj, Assignment& a) {
    a.property = FindProperty(*obj.cls, a.name);
    if (a.property != nullptr) return CheckProperty(a);
    a.event = FindEvent(*obj.cls, a.name);
    if (a.event != nullptr) return CheckEvent(a);
    throw ParseError{a.line, obj.className + " has no property " + a.name};
  }

  // A value of a single token of kind `kind`, or an error naming what was expected.
  const Token& Single(const Assignment& a, Tok kind, const std::string& expected) {
    if (a.value.size() != 1 || a.value[0].kind != kind)
      throw ParseError{a.line, a.name + ": expected " + expected};
    return a.value[0];
  }

  const Token& SingleName(const Assignment& a, const std::string& expected) {
    const Token& t = Single(a, Tok::Name, expected);
    if (!IsPlainName(t)) throw ParseError{a.line, a.name + ": expected " + expected};
    return t;
  }

  void CheckProperty(Assignment& a) {
    const PropertyInfo& p = *a.property;
    switch (p.kind) {
      case PropertyKind::Integer:
        a.resolved.number = static_cast<int>(Single(a, Tok::Number, "an integer").number);
        break;
      case PropertyKind::Bool: {
        const Token& t = Single(a, Tok::Name, "true or false");
        if (t.text != "true" && t.text != "false") throw ParseError{a.line, a.name + ": expected true or false"};
        a.resolved.number = t.text == "true";
        break;
      }
      case PropertyKind::String: {
        auto cp932 = text::Utf8ToCp932(Single(a, Tok::String, "a string").text);
        if (!cp932) throw ParseError{a.line, a.name + ": the string has no CP932 form"};
        a.resolved.text = std::move(*cp932);
        break;
      }
      case PropertyKind::Enum: {
        const Token& t = SingleName(a, "one of " + JoinNames(p.names));
        const int* v = Lookup(p.names, t.text);
        if (v == nullptr) throw ParseError{a.line, a.name + ": unknown value " + t.text};
        a.resolved.number = *v;
        break;
      }
      case PropertyKind::Set:
        a.resolved.number = static_cast<int>(ReadSet(a));
        break;
      case PropertyKind::Component: {
        const Token& t = SingleName(a, "a component name");
        auto it = names_.find(t.text);
        if (it == names_.end()) throw ParseError{a.line, a.name + ": unknown component " + t.text};
        const Object& target = form_.objects[static_cast<size_t>(it->second)];
        if (!InheritsFrom(*target.cls, p.target))
          throw ParseError{a.line, a.name + ": " + t.text + " is a " + target.className + ", not a " +
                                       ClassNameOf(p.target)};
        a.component = it->second;
        break;
      }
    }
  }

  // `[a, b, ...]`: names at the odd positions, commas between them.
  std::uint32_t ReadSet(const Assignment& a) {
    const std::string expected = a.name + ": expected a set [" + JoinNames(a.property->names) + "]";
    const std::vector<Token>& v = a.value;
    if (v.size() < 2 || v.front().kind != Tok::Open || v.back().kind != Tok::Close)
      throw ParseError{a.line, expected};
    if (v.size() > 2 && v.size() % 2 == 0) throw ParseError{a.line, expected};
    std::uint32_t bits = 0;
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      const bool atName = i % 2 == 1;
      if (!atName) {
        if (v[i].kind != Tok::Comma) throw ParseError{a.line, expected};
        continue;
      }
      if (!IsPlainName(v[i])) throw ParseError{a.line, expected};
      const int* bit = Lookup(a.property->names, v[i].text);
      if (bit == nullptr) throw ParseError{a.line, a.name + ": unknown value " + v[i].text};
      bits |= std::uint32_t{1} << *bit;
    }
    return bits;
  }

  void CheckEvent(Assignment& a) {
    const Token& t = SingleName(a, "a handler name");
    for (const HandlerInfo& h : form_.screen->handlers)
      if (h.name == t.text) a.handler = &h;
    if (a.handler == nullptr) throw ParseError{a.line, a.name + ": unknown handler " + t.text};
    if (a.handler->type != a.event->type)
      throw ParseError{a.line, a.name + ": handler " + t.text + " is a " + a.handler->kind + ", " + a.name +
                                   " needs a " + a.event->kind};
  }

  void CheckFields() {
    for (const FieldInfo& f : form_.screen->fields) {
      auto it = names_.find(f.component);
      if (it == names_.end())
        throw ParseError{form_.line, "no component " + f.component + " for the screen's field of that name"};
      const Object& obj = form_.objects[static_cast<size_t>(it->second)];
      if (!InheritsFrom(*obj.cls, f.type))
        throw ParseError{obj.line, f.component + " is a " + obj.className + ", the screen's field holds a " +
                                       ClassNameOf(f.type)};
    }
  }

  Form& form_;
  const TComponent& screen_;
  std::map<std::string, int> names_;  // component name -> object index
};

// ---- Building ---------------------------------------------------------------------------------------------------

class Builder {
public:
  Builder(const Form& form, TComponent& screen, std::string_view file) : form_(form), screen_(screen), file_(file) {}

  std::vector<TComponent*> Run() {
    try {
      for (const Object& obj : form_.objects) At(obj.line, "", [&] { Create(obj); });
      for (size_t i = 0; i < form_.objects.size(); ++i)
        for (const Assignment& a : form_.objects[i].assignments)
          if (a.property != nullptr) At(a.line, a.name + ": ", [&] { a.property->set(*created_[i], Resolve(a)); });
      for (size_t i = 0; i < form_.objects.size(); ++i) Link(i);
      for (size_t i = 0; i < form_.objects.size(); ++i)
        for (const Assignment& a : form_.objects[i].assignments)
          if (a.event != nullptr) At(a.line, a.name + ": ", [&] { a.event->set(*created_[i], a.handler->make(screen_)); });
      for (size_t i = 0; i < form_.objects.size(); ++i) {
        created_[i]->SetLoading(false);
        At(form_.objects[i].line, "", [&] { created_[i]->Loaded(); });
      }
      FillFields();
    } catch (...) {
      DestroyCreated();
      throw;
    }
    return created_;
  }

private:
  // Runs `step`, turning what it throws into an error at `line`.
  template <class F>
  void At(int line, const std::string& prefix, F step) {
    try {
      step();
    } catch (const EFormError&) {
      throw;
    } catch (const std::exception& e) {
      throw EFormError(std::string(file_), line, prefix + e.what());
    }
  }

  void Create(const Object& obj) {
    TComponent* c = obj.cls->create(&screen_);
    if (c == nullptr || c->GetOwner() != &screen_) {
      delete c;
      throw std::logic_error("the factory of " + obj.className + " did not give the component its owner");
    }
    created_.push_back(c);
    c->SetLoading(true);
    c->SetName(obj.name);
  }

  Value Resolve(const Assignment& a) const {
    Value v = a.resolved;
    if (a.component >= 0) v.component = created_[static_cast<size_t>(a.component)];
    return v;
  }

  void Link(size_t i) {
    const Object& obj = form_.objects[i];
    if (obj.parent < 0) return;
    const ClassInfo* link = FindParentLink(*obj.cls);
    At(obj.line, "", [&] { link->linkParent(*created_[i], *created_[static_cast<size_t>(obj.parent)]); });
  }

  void FillFields() {
    for (const FieldInfo& f : form_.screen->fields)
      for (size_t i = 0; i < form_.objects.size(); ++i)
        if (form_.objects[i].name == f.component) f.fill(screen_, created_[i]);
  }

  // Last created first; a component some other one already destroyed has left the screen and is skipped.
  void DestroyCreated() {
    while (!created_.empty()) {
      TComponent* c = created_.back();
      created_.pop_back();
      for (int i = 0; i < screen_.GetComponentCount(); ++i)
        if (screen_.GetComponent(i) == c) {
          delete c;
          break;
        }
    }
  }

  const Form& form_;
  TComponent& screen_;
  std::string_view file_;
  std::vector<TComponent*> created_;
};

std::string Where(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) : file;
}

}  // namespace

EFormError::EFormError(std::string file, int line, std::string message)
    : std::runtime_error(Where(file, line) + ": " + message),
      file_(std::move(file)),
      line_(line),
      message_(std::move(message)) {}

std::vector<TComponent*> LoadForm(TComponent& screen, std::string_view text, std::string_view fileName) {
  Form form;
  try {
    form = Parse(text);
    Checker(form, screen).Run();
  } catch (const ParseError& e) {
    throw EFormError(std::string(fileName), e.line, e.message);
  }
  return Builder(form, screen, fileName).Run();
}

std::vector<TComponent*> LoadFormResource(TComponent& screen, std::string_view name) {
  const Resource* r = FindResource(kResourceType, name);
  if (r == nullptr) r = FindResource(kResourceType, std::string(name) + ".form");
  if (r == nullptr) throw EFormError(std::string(name), 0, "no such form resource");
  return LoadForm(screen, std::string_view(reinterpret_cast<const char*>(r->data), r->size), r->name);
}

}  // namespace platform::form
