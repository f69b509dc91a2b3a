#include "analysis/query_trace.h"

#include <algorithm>
#include <memory>
#include <set>

#include "common/bytes.h"
#include "formats/keyed_json.h"
#include "infofile/information_file.h"
#include "query/query.h"
#include "tableobj/table_object.h"

namespace dinfo::cli {
namespace {

constexpr std::size_t MostKeysNamed = 12;

std::string KeyText(std::int32_t key) { return key == KeyWildcard ? "*" : std::to_string(key); }

std::string RecordText(std::int32_t section, std::int32_t id) {
  return "record " + std::to_string(id) + (section == MainSection ? "" : " of section " + std::to_string(section));
}

std::string Rows(std::int64_t count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

// The keys of row `row`, as "[1=2 7=*]".
std::string RowKeys(const KeyedFields &header, std::int32_t row) {
  const std::uint8_t *at = header.rows.data() + std::size_t(row) * std::size_t(LayoutOf(header).rowStride);
  std::string out;
  for (std::int32_t k = 0; k < header.keyCount; ++k) {
    out += (k == 0 ? "" : " ") + std::to_string(header.keyIndex[k]) + "=" + KeyText(ReadI32LittleEndian(at + 4 * k));
  }
  return "[" + out + "]";
}

// The distinct keys the rows hold for condition `index`.
Json KeysNamedFor(const KeyedFields &header, std::int32_t index) {
  std::set<std::int32_t> keys;
  const auto stride = std::size_t(LayoutOf(header).rowStride);
  for (std::int32_t row = 0; row < header.rowCount; ++row) {
    for (std::int32_t k = 0; k < header.keyCount; ++k) {
      if (header.keyIndex[k] == index) keys.insert(ReadI32LittleEndian(header.rows.data() + std::size_t(row) * stride + 4 * std::size_t(k)));
    }
  }
  Json named = Json::array();
  for (std::int32_t key : keys) named.push_back(key);
  return named;
}

// What one call's lookups did, as the observer tells it.
struct Recorder {
  Json steps = Json::array();
  Json failedStop = nullptr;  // the last lookup that stopped on a fault
  Json lastMiss = nullptr;    // the last chain link that matched no row
  Json emptyFinal = nullptr;  // the last final block that selected no row, and why
  Fault lastReadFault = Fault::None;  // why the last record that did not read did not
  std::vector<std::int32_t> chain;    // the records the current lookup's links passed through
  std::int32_t finalDisabled = 0;
  std::int32_t finalRows = 0;
  std::int32_t finalRecord = 0;
  std::int32_t finals = 0;  // final blocks since the query step began

  static Recorder &Of(void *context) { return *static_cast<Recorder *>(context); }

  static void Read(void *context, const RecordReadStep &step) {
    std::string text = RecordText(step.section, step.recordId);
    if (step.fault != Fault::None) {
      Of(context).lastReadFault = step.fault;
      text += step.kept ? " (kept from the step before) is unsound: " : " did not read: ";
      text += DescribeFault(step.fault);
    } else {
      text = (step.kept ? "took " : "read ") + text + (step.kept ? ", kept from the step before" : "");
    }
    Of(context).steps.push_back(Json{{"step", "read"}, {"section", step.section}, {"record", step.recordId},
                                     {"kept", step.kept}, {"text", text}});
  }

  static void Link(void *context, const ChainLinkStep &step) {
    std::vector<std::int32_t> &chain = Of(context).chain;
    if (chain.empty() || chain.back() != step.recordId) chain = {step.recordId};
    if (step.matchedRow >= 0) chain.push_back(step.nextRecordId);
    const KeyedHeader &view = *step.header;
    const KeyedFields &header = view.fields();
    std::string compared;
    Json conditions = Json::object();
    for (std::int32_t k = 0; k < header.keyCount; ++k) {
      const std::int32_t index = header.keyIndex[k];
      const std::int32_t value = step.conditions->entries[index];
      compared += (k == 0 ? "" : " ") + std::to_string(index) + "=" + std::to_string(value);
      conditions[std::to_string(index)] = value;
    }
    std::string text = RecordText(step.section, step.recordId) + " is a chain on the conditions " +
                       (compared.empty() ? "(none)" : compared) + "; ";
    Json link{{"step", "link"}, {"section", step.section}, {"record", step.recordId}, {"compared", conditions}};
    if (step.matchedRow >= 0) {
      text += "row " + std::to_string(step.matchedRow) + " " + RowKeys(header, step.matchedRow) + " matched -> record " +
              std::to_string(step.nextRecordId);
      link["matchedRow"] = step.matchedRow;
      link["next"] = step.nextRecordId;
    } else {
      Json miss{{"section", step.section}, {"record", step.recordId}};
      if (step.miss.index >= 0) {
        miss["condition"] = Json{{"index", step.miss.index}, {"value", step.miss.value}};
        miss["rowsName"] = KeysNamedFor(header, step.miss.index);
      }
      text += "no row matched: " + StopText(miss);
      link["miss"] = miss;
      Of(context).lastMiss = miss;
    }
    link["text"] = text;
    Of(context).steps.push_back(link);
  }

  static void Final(void *context, const FinalBlockStep &step) {
    const KeyedHeader &view = *step.header;
    const KeyedFields &header = view.fields();
    std::string text = RecordText(step.section, step.recordId) + " gives " + Rows(step.rowsSelected) + " (" +
                       KindName(header.kind) + ", " + ValueTypeName(header.valueType);
    if (header.kind != SingleBlock && header.keyCount > 0) {
      std::string keys;
      for (std::int32_t k = 0; k < header.keyCount; ++k) keys += (k == 0 ? "" : ",") + std::to_string(header.keyIndex[k]);
      text += ", keyed on conditions " + keys;
    }
    if (header.disabledFlag != 0) text += ", disabled";
    text += ")";
    if (step.rowsSelected == 0 && step.conditions != nullptr && header.kind != SingleBlock && header.rowCount > 0) {
      const ConditionMiss miss = FindConditionMiss(step.conditions, view);
      Json at{{"section", step.section}, {"record", step.recordId}};
      if (miss.index >= 0) {
        at["condition"] = Json{{"index", miss.index}, {"value", miss.value}};
        at["rowsName"] = KeysNamedFor(header, miss.index);
      }
      text += ": " + StopText(at);
      const std::vector<std::int32_t> &chain = Of(context).chain;
      if (chain.size() > 1 && chain.back() == step.recordId) at["chain"] = chain;
      Of(context).emptyFinal = at;
    }
    Of(context).finalDisabled = header.disabledFlag;
    Of(context).finalRecord = step.recordId;
    ++Of(context).finals;
    Of(context).finalRows = step.rowsSelected;
    Of(context).steps.push_back(Json{{"step", "final"}, {"section", step.section}, {"record", step.recordId},
                                     {"rows", step.rowsSelected}, {"text", text}});
  }

  static void Stopped(void *context, const LookupStop &stop) {
    Recorder &recorder = Of(context);
    std::vector<std::int32_t> chain;
    chain.swap(recorder.chain);  // a lookup ends here: the next begins a chain of its own
    if (stop.fault == Fault::None) return;
    // A record that did not read says why better than the lookup's fault.
    const Fault cause = stop.fault == Fault::RecordUnreadable ? recorder.lastReadFault : stop.fault;
    Json at{{"section", stop.section}, {"record", stop.recordId}, {"fault", DescribeFault(cause)}};
    const Json &miss = recorder.lastMiss;
    if (stop.fault == Fault::ChainSelection && !miss.is_null() && miss["record"] == stop.recordId) at = miss;
    if (chain.size() > 1 && chain.back() == stop.recordId) at["chain"] = chain;
    recorder.failedStop = at;
    recorder.steps.push_back(Json{{"step", "stop"}, {"section", stop.section}, {"record", stop.recordId},
                                  {"text", "the lookup stopped at " + RecordText(stop.section, stop.recordId) + ": " +
                                               DescribeFault(stop.fault)}});
  }
};

std::string ConditionsText(const QueryRequest &request) {
  std::string out = "selector " + std::to_string(request.selector);
  for (const ConditionPair &pair : request.pairs) out += ", " + std::to_string(pair.index) + "=" + std::to_string(pair.value);
  return out + " (every other condition -1)";
}

class Tracer {
 public:
  explicit Tracer(HANDLE handle) : keyed_(handle) {
    observer_ = {&recorder_, &Recorder::Read, &Recorder::Link, &Recorder::Final, &Recorder::Stopped};
    keyed_.observer = &observer_;
  }

  QueryTrace Run(const QueryRequest &request) {
    trace_.opened = true;
    switch (request.kind) {
      case QueryKind::Format: Format(); break;
      case QueryKind::Main: Main(); break;
      case QueryKind::CategoryV:
      case QueryKind::CategoryS: Category(request); break;
      case QueryKind::Table: Table(request); break;
    }
    trace_.steps = recorder_.steps;
    return trace_;
  }

 private:
  void Note(const char *step, const std::string &text) { recorder_.steps.push_back(Json{{"step", step}, {"text", text}}); }

  // A query step begins: a lookup that fails from here on is its cause.
  void Begin(const std::string &text) {
    recorder_.failedStop = nullptr;
    recorder_.emptyFinal = nullptr;
    recorder_.finals = 0;
    Note("begin", text);
  }

  void Answer(std::int32_t status, const std::string &text) {
    trace_.answered = true;
    trace_.status = status;
    Note("answer", text);
  }

  void Fail(std::int32_t status, const std::string &why) {
    trace_.status = status;
    trace_.stop = Json{{"text", why}};
    if (!recorder_.failedStop.is_null()) {
      trace_.stop["at"] = recorder_.failedStop;
    } else if (!recorder_.emptyFinal.is_null()) {
      trace_.stop["at"] = recorder_.emptyFinal;
    }
  }

  void ReadStatus() {
    Begin("status record " + std::to_string(StatusRecordId) + ", read without conditions");
    status_ = ReadStatusRecord(keyed_);
    if (status_.lookup == Fault::None) {
      Note("check", "file status " + std::to_string(status_.fileStatus) +
                        (status_.count >= 2 ? ", format type " + std::to_string(status_.formatType) : ""));
    }
  }

  bool StatusCheck() {
    ReadStatus();
    const std::int16_t code = FileStatusCode(status_);
    if (code == 0) return true;
    Fail(code, status_.lookup != Fault::None ? "the status record's lookup failed"
                                               : "file status " + std::to_string(status_.fileStatus) +
                                                     " marks the file unusable");
    return false;
  }

  bool FormatCheck() {
    if (FormatTypeCode(status_) >= 0) return true;
    Fail(ErrRecordDisabled, "the format check fails: " + FormatTypeReason(status_));
    return false;
  }

  void Format() {
    ReadStatus();
    const std::int32_t code = FormatTypeCode(status_);
    if (code >= 0) return Answer(code, "format type " + std::to_string(code));
    Fail(code, FormatTypeReason(status_));
    if (status_.lookup == Fault::None && status_.disabledFlag == 0 && status_.count >= 2) trace_.stop["storedFormatType"] = code;
  }

  // A list's failure: the lookup that stopped it, or what the final block
  // it read says.
  std::string ListFailure(std::int32_t recordId, std::int32_t valueType, bool named) {
    std::string why = "the list of record " + std::to_string(recordId) + " failed";
    if (!recorder_.failedStop.is_null()) return why;
    if (named ? !IsNamedListType(valueType) : !IsValueListType(valueType)) {
      return why + ": value type " + std::to_string(valueType) + " makes no " + (named ? "named entry" : "value") + " list";
    }
    if (recorder_.finalDisabled != 0) return why + ": its final block is disabled";
    return why + ": its " + Rows(recorder_.finalRows) + " do not fit the list (" +
           std::to_string(named ? NamedEntryListWorkSize : ValueListWorkSize) + " bytes of work area, " +
           std::to_string(MaxListElements) + " elements)";
  }

  void Main() {
    if (!StatusCheck()) return;
    Begin("main named entries, record " + std::to_string(MainEntriesRecordId) + ", read without conditions");
    KeyedFields header{};
    if (ReadKeyedHeader(nullptr, keyed_, MainSection, MainEntriesRecordId, &header) != Fault::None) {
      return Fail(ErrMainInfo, "the header of record " + std::to_string(MainEntriesRecordId) + " did not read");
    }
    std::vector<NamedEntry> named(DI_MAIN_NAMED_MAX);
    const ListResult names = GetNamedEntryList(MainEntriesRecordId, nullptr, named.data(), 0, keyed_, header.valueType);
    if (names.fault != Fault::None) return Fail(ErrMainInfo, ListFailure(MainEntriesRecordId, header.valueType, true));
    if (names.count == 0) return Fail(ErrMainInfo, "record " + std::to_string(MainEntriesRecordId) + " yields no named entries");
    Begin("main triplets, record " + std::to_string(MainTripletsRecordId) + ", read without conditions as int32");
    std::vector<IntegerTriplet> triplets(DI_MAIN_TRIPLETS_MAX);
    const ListResult values = GetValueList(MainTripletsRecordId, nullptr, triplets.data(), 0, keyed_, ValueTypeInt32);
    if (values.fault != Fault::None) return Fail(ErrMainInfo, ListFailure(MainTripletsRecordId, ValueTypeInt32, false));
    if (values.count == 0) return Fail(ErrMainInfo, "record " + std::to_string(MainTripletsRecordId) + " yields no triplets");
    Answer(0, std::to_string(names.count) + " named entries and " + std::to_string(values.count) + " triplets");
  }

  bool MakeVector(const QueryRequest &request, ConditionVector *vector) {
    const auto count = static_cast<std::int16_t>(request.pairs.size());
    if (BuildConditionVector(request.selector, request.pairs.empty() ? nullptr : request.pairs.data(), count, vector)) return true;
    Fail(ErrConditionIndex, "a condition index lies outside 0 to " + std::to_string(ConditionVectorSize - 1));
    return false;
  }

  void Category(const QueryRequest &request) {
    if (!StatusCheck() || !FormatCheck()) return;
    ConditionVector vector;
    if (!MakeVector(request, &vector)) return;
    const bool v = request.kind == QueryKind::CategoryV;
    const std::int32_t recordId = v ? CategoryVRecordId : CategorySRecordId;
    Begin("category record " + std::to_string(recordId) + ", " + ConditionsText(request));
    const std::unique_ptr<std::uint32_t[]> entries(new std::uint32_t[DI_CATEGORY_BUFFER_BYTES / 4]);  // written, never read
    const CategoryAnswer answer = GatherCategory(keyed_, vector, v ? CategoryVariant::V : CategoryVariant::S, entries.get());
    const std::int16_t code = CategoryCode(answer);
    const std::string record = "category record " + std::to_string(recordId);
    switch (answer.stop) {
      case CategoryStop::Gathered: return Answer(code, std::to_string(code) + (code == 1 ? " element" : " elements"));
      case CategoryStop::NotAList:
        return Answer(code, "the first listed record's value type " + std::to_string(answer.valueType) +
                                " makes no list: nothing is written");
      case CategoryStop::LookupFailed: return Fail(code, "the lookup of " + record + " failed");
      case CategoryStop::Disabled: return Fail(code, "the final block of " + record + " is disabled");
      case CategoryStop::NoCategory: return Fail(code, record + " selected no row");
      case CategoryStop::HeaderFailed: return Fail(code, "the header of the first record " + record + " lists did not read");
      case CategoryStop::ListFailed: break;
    }
    // Only the category record's own block was selected: no list began.
    if (answer.fault == Fault::ListFailed && recorder_.failedStop.is_null() && recorder_.finals <= 1) {
      return Fail(code, "the record ids " + record + " lists are not ended by 0 within their " +
                            std::to_string(CategoryIdBufferSize / 4) + " places");
    }
    if (!recorder_.failedStop.is_null()) return Fail(code, "the lookup of a record that " + record + " lists failed");
    Fail(code, ListFailure(recorder_.finalRecord, answer.valueType, IsNamedListType(answer.valueType)));
  }

  void Table(const QueryRequest &request) {
    if (!StatusCheck() || !FormatCheck()) return;
    ConditionVector vector;
    if (!MakeVector(request, &vector)) return;
    Begin("table locator, record " + std::to_string(TableLocatorRecordId) + ", " + ConditionsText(request));
    TableLocation location{};
    const std::string locator = "the table locator (record " + std::to_string(TableLocatorRecordId) + ")";
    switch (LocateTable(keyed_, vector, &location)) {
      case LocatorAnswer::Found: break;
      case LocatorAnswer::LookupFailed: return Fail(0, "the lookup of " + locator + " failed");
      case LocatorAnswer::Disabled: return Fail(0, "the final block of " + locator + " is disabled");
      case LocatorAnswer::WrongRowCount:
        return Fail(0, locator + " gave " + Rows(location.rowCount) + "; it must give exactly 2");
      case LocatorAnswer::UnknownKind:
        return Fail(0, "a row of " + locator + " has kind " + std::to_string(location.badKind) + ", neither " +
                           std::to_string(LocatorSectionKind) + " (section) nor " + std::to_string(LocatorRecordKind) +
                           " (record)");
      case LocatorAnswer::SectionZero: return Fail(0, locator + " names section 0");
    }
    const std::string table = RecordText(location.section, location.recordId);
    Begin("the table object the locator names, " + table);
    ReadOutcome read = ReadRecord(keyed_.view, location.section, location.recordId);
    if (read.fault != Fault::None) return Fail(0, table + " did not read: " + DescribeFault(read.fault));
    Note("read", "read " + table + ", " + std::to_string(read.block.get().size()) + " bytes");
    const Fault prepared = PrepareTableObject(read.block.get()).fault;
    if (prepared != Fault::None) return Fail(0, "the table object in " + table + " is refused: " + DescribeFault(prepared));
    Answer(0, "the table object in " + table + " is prepared");
  }

  KeyedFile keyed_;
  LookupObserver observer_{};
  Recorder recorder_;
  StatusValues status_{};
  QueryTrace trace_;
};

}  // namespace

std::string FormatTypeReason(const StatusValues &status) {
  if (status.lookup != Fault::None) return "the status record's lookup fails";
  if (status.disabledFlag != 0) return "the status record is disabled";
  if (status.count < 2) {
    return "the status record yields " + Rows(status.count) +
           "; the format type needs at least 2 (file status, format type: one value a row)";
  }
  return "the file stores the negative format type " + std::to_string(status.formatType);
}

const char *ExportOf(QueryKind kind) {
  switch (kind) {
    case QueryKind::Format: return "DIGetTableFormatType";
    case QueryKind::Main: return "DIGetMainInfo";
    case QueryKind::CategoryV: return "DIGetCategoryInfoV";
    case QueryKind::CategoryS: return "DIGetCategoryInfoS";
    case QueryKind::Table: return "DIGetTable";
  }
  return "";
}

const char *QueryName(QueryKind kind) {
  switch (kind) {
    case QueryKind::Format: return "format";
    case QueryKind::Main: return "main";
    case QueryKind::CategoryV: return "category v";
    case QueryKind::CategoryS: return "category s";
    case QueryKind::Table: return "table";
  }
  return "";
}

std::string QueryWords(const QueryRequest &request) {
  std::string words = QueryName(request.kind);
  if (request.kind == QueryKind::Format || request.kind == QueryKind::Main) return words;
  words += " --selector " + std::to_string(request.selector);
  for (const ConditionPair &pair : request.pairs) words += " --cond " + std::to_string(pair.index) + "=" + std::to_string(pair.value);
  return words;
}

QueryTrace TraceQuery(const FileArgument &file, const QueryRequest &request) {
  const HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(file.Folder()), file.FileName());
  if (handle == nullptr) {
    QueryTrace trace;
    trace.status = ErrOpenFile;
    trace.stop = Json{{"text", "the information file did not open"}};
    return trace;
  }
  QueryTrace trace;
  {
    Tracer tracer(handle);
    trace = tracer.Run(request);
  }
  CloseHandle(handle);
  return trace;
}

std::string StopText(const Json &stop) {
  std::string out;
  if (stop.contains("text")) out = stop["text"].get<std::string>();
  const Json &at = stop.contains("at") ? stop["at"] : stop;
  if (!at.contains("record")) return out;
  if (!out.empty()) {
    out += ", at " + RecordText(at["section"], at["record"]);
    if (at.contains("chain")) {
      std::string chain;
      for (const Json &id : at["chain"]) chain += (chain.empty() ? "" : " -> ") + id.dump();
      out += " (chain " + chain + ")";
    }
    out += ": ";
  }
  if (at.contains("condition")) {
    out += "no row accepts condition " + at["condition"]["index"].dump() + " = " + at["condition"]["value"].dump();
    const Json &named = at["rowsName"];
    if (!named.empty()) {
      std::string list;
      for (std::size_t i = 0; i < named.size() && i < MostKeysNamed; ++i) list += (i == 0 ? "" : ", ") + named[i].dump();
      if (named.size() > MostKeysNamed) list += ", ...";
      out += " (the rows name " + list + ")";
    }
  } else if (at.contains("fault")) {
    out += at["fault"].get<std::string>();
  } else {
    out += "each condition is accepted by some row, but no row accepts them all";
  }
  return out;
}

std::string RenderTrace(const QueryTrace &trace, const QueryRequest &request) {
  std::string out;
  for (const Json &step : trace.steps) {
    const std::string kind = step["step"];
    out += (kind == "begin" ? "" : "  ") + step["text"].get<std::string>() + "\n";
  }
  out += std::string(ExportOf(request.kind)) + " ";
  if (request.kind == QueryKind::Table) {
    out += trace.answered ? "gives the table" : "gives null";
  } else if (trace.answered) {
    out += "answers " + std::to_string(trace.status);
  } else {
    out += "gives " + DescribeStatus(trace.status);
  }
  out += "\n";
  if (!trace.answered) out += "stopped: " + StopText(trace.stop) + "\n";
  return out;
}

}  // namespace dinfo::cli
