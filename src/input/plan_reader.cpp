#include "input/plan_reader.hpp"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "base/run_error.hpp"
#include "input/plan_pieces.hpp"
#include "input/survey_points.hpp"
#include "input/text_reader.hpp"

namespace {

// The first bytes of a binary DXF drawing.
constexpr std::string_view binaryDxfSentinel = "AutoCAD Binary DXF";
// Bytes looked at to tell a file's kind by its content.
constexpr std::size_t sniffedBytes = 4096;
// The value of --ring-by that groups by layer.
constexpr const char* ringByLayer = "layer";

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

PlanReading refused(std::string sentence, bool usage = false) {
    PlanReading reading;
    reading.problem = PlanProblem{std::move(sentence), usage};
    return reading;
}

// The failures GDAL reports while the settings of a read are in force.
thread_local std::vector<std::string>* gdalFailures = nullptr;

void CPL_STDCALL collectFailure(CPLErr level, CPLErrorNum, const char* message) {
    if (level >= CE_Failure && gdalFailures != nullptr) gdalFailures->push_back(message != nullptr ? message : "");
}

/// The read's GDAL settings, and GDAL's messages kept from standard error (its failures are
/// collected); put back at the end.
class GdalSettings {
public:
    GdalSettings() {
        static std::once_flag registered;
        std::call_once(registered, [] { GDALAllRegister(); });
        gdalFailures = &failures;
        CPLPushErrorHandler(collectFailure);
        CPLErrorReset();
        // Each entity of an inserted block its own feature, with its own layer.
        CPLSetThreadLocalConfigOption("DXF_MERGE_BLOCK_GEOMETRIES", "FALSE");
        CPLSetThreadLocalConfigOption("DXF_INLINE_BLOCKS", "TRUE");
        const std::string step = std::to_string(arcStepDegrees);
        CPLSetThreadLocalConfigOption("OGR_ARC_STEPSIZE", step.c_str());
    }
    ~GdalSettings() {
        for (const char* key : {"DXF_MERGE_BLOCK_GEOMETRIES", "DXF_INLINE_BLOCKS", "OGR_ARC_STEPSIZE"}) {
            CPLSetThreadLocalConfigOption(key, nullptr);
        }
        CPLPopErrorHandler();
        gdalFailures = nullptr;
    }
    GdalSettings(const GdalSettings&) = delete;
    GdalSettings& operator=(const GdalSettings&) = delete;

    std::vector<std::string> failures;
};

/// A SPLINE of a drawing given by its fit points alone (no control points), which GDAL does not
/// read: the fit points are the points the user placed, on the drawn curve.
struct FitPointSpline {
    std::string handle, layer;
    bool paperSpace = false;
    Curve points;
};

/// The SPLINE entities after the ENTITIES line that have fit points and no control point.
std::vector<FitPointSpline> fitPointSplines(const std::string& name) {
    std::vector<FitPointSpline> splines;
    std::ifstream in(name, std::ios::binary);
    std::string codeLine, valueLine;
    bool inEntities = false, inSpline = false, hasControlPoints = false;
    FitPointSpline spline;
    auto finish = [&] {
        if (inSpline && !hasControlPoints && !spline.points.x.empty()) splines.push_back(spline);
        inSpline = false;
    };
    while (std::getline(in, codeLine) && std::getline(in, valueLine)) {
        const std::string code = trimmed(codeLine);
        const std::string value = trimmed(valueLine);
        if (code == "2" && value == "ENTITIES") inEntities = true;
        if (!inEntities) continue;
        if (code == "0") {
            finish();
            if (value == "ENDSEC") break;
            if (value == "SPLINE") {
                inSpline = true;
                hasControlPoints = false;
                spline = FitPointSpline{};
                spline.layer = "0";
            }
            continue;
        }
        if (!inSpline) continue;
        const double number = std::atof(value.c_str());
        if (code == "5") spline.handle = value;
        if (code == "8") spline.layer = value;
        if (code == "67") spline.paperSpace = std::atoi(value.c_str()) != 0;
        if (code == "10") hasControlPoints = true;
        if (code == "11") {
            spline.points.x.push_back(number);
            spline.points.y.push_back(0);
        }
        if (code == "21" && !spline.points.y.empty()) spline.points.y.back() = number;
    }
    finish();
    return splines;
}

/// A layer of a drawing's LAYER table.
struct TableLayer {
    std::string name;
    bool off = false;
    bool frozen = false;
};

/// The LAYER table of an ASCII DXF drawing (group codes at either edge of their lines).
std::vector<TableLayer> dxfLayerTable(const std::string& name) {
    std::vector<TableLayer> table;
    std::ifstream in(name, std::ios::binary);
    std::string codeLine, valueLine;
    bool inLayerTable = false, expectTableName = false;
    TableLayer* entry = nullptr;
    while (std::getline(in, codeLine) && std::getline(in, valueLine)) {
        const std::string code = trimmed(codeLine);
        const std::string value = trimmed(valueLine);
        if (code == "0") {
            entry = nullptr;
            expectTableName = value == "TABLE";
            if (value == "ENDTAB") inLayerTable = false;
            if (inLayerTable && value == "LAYER") {
                table.push_back({});
                entry = &table.back();
            }
            continue;
        }
        if (code == "2" && expectTableName) {
            inLayerTable = value == "LAYER";
            expectTableName = false;
            continue;
        }
        // The tables come before the blocks and the entities.
        if (code == "2" && (value == "BLOCKS" || value == "ENTITIES")) break;
        if (entry == nullptr) continue;
        if (code == "2") entry->name = value;
        if (code == "62") entry->off = !value.empty() && value.front() == '-';
        if (code == "70") entry->frozen = (std::atoi(value.c_str()) & 1) != 0;
    }
    return table;
}

/// The kind of a DXF entity as a CAD program names it, from GDAL's subclass list.
std::string dxfKind(const std::string& subclasses, bool hasText, OGRwkbGeometryType type) {
    struct Rule {
        const char* part;
        const char* kind;
    };
    static const Rule rules[] = {{"Dimension", "DIMENSION"}, {"MText", "MTEXT"},      {"Attribute", "ATTRIB"},
                                 {"Text", "TEXT"},           {"Leader", "LEADER"},    {"Hatch", "HATCH"},
                                 {"BlockReference", "INSERT"}, {"2dPolyline", "POLYLINE"}, {"3dPolyline", "POLYLINE"},
                                 {"AcDbPolyline", "LWPOLYLINE"}, {"Arc", "ARC"},      {"Circle", "CIRCLE"},
                                 {"Ellipse", "ELLIPSE"},     {"Spline", "SPLINE"},    {"Face", "3DFACE"},
                                 {"Trace", "SOLID"},         {"Line", "LINE"},        {"Point", "POINT"}};
    for (const Rule& rule : rules) {
        if (subclasses.find(rule.part) != std::string::npos) return rule.kind;
    }
    // Drawings of release 12 carry no subclasses.
    if (hasText) return "TEXT";
    switch (wkbFlatten(type)) {
        case wkbPoint: return "POINT";
        case wkbLineString: return "LINE or POLYLINE";
        case wkbPolygon: return "HATCH or SOLID";
        default: return OGRGeometryTypeToName(type);
    }
}

/// Kinds that are never part of a ring, with the phrase that counts them.
const std::map<std::string, std::string> leftOutKinds = {
    {"TEXT", "texts"},          {"MTEXT", "texts"},   {"ATTRIB", "texts"},  {"DIMENSION", "dimensions"},
    {"LEADER", "leaders"},      {"HATCH", "hatches"}, {"HATCH or SOLID", "hatches and solids"},
    {"SOLID", "hatches and solids"}, {"3DFACE", "faces"}};

/// The phrases of one entity left out, where they differ from the plural.
const std::map<std::string, std::string> singularOf = {
    {"texts", "text"},   {"dimensions", "dimension"}, {"leaders", "leader"},
    {"hatches", "hatch"}, {"hatches and solids", "hatch or solid"}, {"faces", "face"}, {"features without geometry", "feature without geometry"},
    {"entities on layers that are off or frozen", "entity on a layer that is off or frozen"},
    {"entities in paper space", "entity in paper space"}};

/// Adds the parts of `geometry` to `pieces` as pieces like `model`: curves made linear, points,
/// and each ring of a polygon; multi-geometries split into their parts.
void addGeometry(const OGRGeometry& geometry, const PlanPiece& model, std::vector<PlanPiece>& pieces,
                 std::int64_t& empty) {
    if (geometry.IsEmpty()) {
        ++empty;
        return;
    }
    if (geometry.hasCurveGeometry()) {
        const std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry(arcStepDegrees));
        if (linear) addGeometry(*linear, model, pieces, empty);
        return;
    }
    const OGRwkbGeometryType type = wkbFlatten(geometry.getGeometryType());
    if (type == wkbPoint) {
        const auto& point = static_cast<const OGRPoint&>(geometry);
        PlanPiece piece = model;
        piece.isPoint = true;
        piece.points.x.push_back(point.getX());
        piece.points.y.push_back(point.getY());
        pieces.push_back(std::move(piece));
        return;
    }
    if (type == wkbLineString || type == wkbLinearRing) {
        const auto& line = static_cast<const OGRSimpleCurve&>(geometry);
        PlanPiece piece = model;
        piece.points.x.reserve(static_cast<std::size_t>(line.getNumPoints()));
        piece.points.y.reserve(static_cast<std::size_t>(line.getNumPoints()));
        for (int i = 0; i < line.getNumPoints(); ++i) {
            piece.points.x.push_back(line.getX(i));
            piece.points.y.push_back(line.getY(i));
        }
        pieces.push_back(std::move(piece));
        return;
    }
    if (type == wkbPolygon || type == wkbTriangle) {
        const auto& polygon = static_cast<const OGRCurvePolygon&>(geometry);
        for (const OGRCurve* ring : polygon) addGeometry(*ring, model, pieces, empty);
        return;
    }
    if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection) || type == wkbPolyhedralSurface || type == wkbTIN) {
        const auto* collection = dynamic_cast<const OGRGeometryCollection*>(&geometry);
        const auto* surface = dynamic_cast<const OGRPolyhedralSurface*>(&geometry);
        const int parts = collection ? collection->getNumGeometries() : surface ? surface->getNumGeometries() : 0;
        for (int i = 0; i < parts; ++i) {
            PlanPiece part = model;
            if (parts > 1) part.id += "." + std::to_string(i + 1);
            addGeometry(collection ? *collection->getGeometryRef(i) : *surface->getGeometryRef(i), part, pieces, empty);
        }
        return;
    }
    ++empty;
}

/// What the reading keeps of every layer, in the order the layers appear.
class LayerTally {
public:
    PlanLayer& layer(const std::string& name) {
        const auto [at, added] = index_.emplace(upper(name), layers_.size());
        if (added) layers_.push_back(PlanLayer{name, {}, false, false});
        return layers_[at->second];
    }
    void count(const std::string& layerName, const std::string& kind) {
        auto& kinds = layer(layerName).kinds;
        const auto at = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.first == kind; });
        if (at == kinds.end()) {
            kinds.emplace_back(kind, 1);
        } else {
            ++at->second;
        }
    }
    std::vector<PlanLayer> layers() const { return layers_; }

private:
    std::vector<PlanLayer> layers_;
    std::map<std::string, std::size_t> index_;
};

/// Reasons for leaving entities out, counted in the order they were first met.
class SkipTally {
public:
    /// Counts `count` entities left out for `reason`, a plural phrase ("texts", "in paper space").
    void add(const std::string& reason, std::int64_t count = 1) {
        if (count == 0) return;
        const auto at = std::find_if(counts_.begin(), counts_.end(), [&](const auto& c) { return c.first == reason; });
        if (at == counts_.end()) {
            counts_.emplace_back(reason, count);
        } else {
            at->second += count;
        }
    }
    std::vector<std::string> phrases() const {
        std::vector<std::string> out;
        for (const auto& [reason, count] : counts_) {
            const auto singular = singularOf.find(reason);
            out.push_back(std::to_string(count) + " " +
                          (count == 1 && singular != singularOf.end() ? singular->second : reason));
        }
        return out;
    }

private:
    std::vector<std::pair<std::string, std::int64_t>> counts_;
};

std::string stemOf(const std::string& name) { return std::filesystem::path(name).stem().string(); }

RingGrouping groupingOf(const std::string& ringBy) {
    if (ringBy.empty()) return RingGrouping::ByPiece;
    return sameLayerName(ringBy, ringByLayer) ? RingGrouping::ByLayer : RingGrouping::ByField;
}

/// The sentence for a selection that leaves no ring.
std::string noRingSentence(const std::string& name, const PlanSelection& selection,
                           const std::vector<std::string>& skipped) {
    std::string sentence = "'" + name + "' holds no curve or point to fit";
    if (!selection.layers.empty()) sentence += " on " + std::string(selection.layers.size() == 1 ? "layer " : "layers ") +
                                               quotedList(selection.layers);
    if (!skipped.empty()) {
        sentence += " (left out: ";
        for (std::size_t i = 0; i < skipped.size(); ++i) sentence += (i > 0 ? ", " : "") + skipped[i];
        sentence += ")";
    }
    return sentence;
}

/// Groups the pieces into rings and checks that some are left.
PlanReading finish(PlanReading reading, const std::vector<PlanPiece>& pieces, const std::string& name,
                   const PlanSelection& selection) {
    reading.contents.rings = ringsOfPieces(pieces, groupingOf(selection.ringBy));
    if (reading.contents.rings.curves.empty()) {
        return refused(noRingSentence(name, selection, reading.contents.skipped));
    }
    return reading;
}

/// kelmar's own point list, through its reader; its one ring comes from the file as a whole.
PlanReading readOwnPointList(const std::string& bytes, const std::string& name) {
    PlanReading reading;
    reading.contents.format = "point list";
    reading.contents.ownPointList = true;
    // A list the reader finds unusable comes back as a problem; a number that is no number ends
    // its reading as the dialogue's run-time error would, thrown here and taken as a refusal.
    const FailureMode before = currentFailureMode();
    setFailureMode(FailureMode::ThrowRunEnded);
    std::optional<InputProblem> problem;
    try {
        problem = readTextPointsFromText(bytes, name, reading.contents.rings);
    } catch (const RunEnded& ended) {
        setFailureMode(before);
        return refused(ended.sentence);
    }
    setFailureMode(before);
    if (problem) return refused(problem->sentence);
    for (std::size_t i = 0; i < reading.contents.rings.curves.size(); ++i) {
        reading.contents.rings.sources.push_back(RingSource{stemOf(name), "", {}});
    }
    PlanLayer layer{stemOf(name), {{"point", reading.contents.rings.curves.empty() ? 0 : static_cast<std::int64_t>(reading.contents.rings.curves[0].x.size())}}};
    reading.contents.layers.push_back(layer);
    return reading;
}

PlanReading readSurveyFile(const std::string& bytes, const std::string& name, const PlanSelection& selection) {
    const std::string layer = stemOf(name);
    if (!selection.layers.empty()) {
        if (const auto unknown = unknownLayer(selection.layers, {layer})) {
            return refused("--layer '" + *unknown + "' names no layer of '" + name + "': a survey point file is one "
                           "layer, '" + layer + "'");
        }
    }
    SurveyReading survey = readSurveyPoints(bytes, name, layer, selection.columns, selection.ringBy);
    if (survey.problem) return refused(*survey.problem, survey.usageProblem);
    PlanReading reading;
    reading.contents.format = "survey point file";
    if (!survey.note.empty()) reading.contents.notes.push_back(survey.note);
    reading.contents.layers.push_back(PlanLayer{layer, {{"point", static_cast<std::int64_t>(survey.pieces.size())}}});
    // The third column of --columns groups the points as --ring-by does.
    PlanSelection grouped = selection;
    if (grouped.ringBy.empty() && !survey.pieces.empty() && !selection.columns.empty() &&
        std::count(selection.columns.begin(), selection.columns.end(), ',') == 2) {
        grouped.ringBy = "RING";
    }
    return finish(std::move(reading), survey.pieces, name, grouped);
}

/// A drawing or dataset that GDAL opened.
PlanReading readDataset(GDALDataset& dataset, const std::string& name, const PlanSelection& selection,
                        std::vector<std::string>& failures) {
    PlanReading reading;
    const std::string driver = dataset.GetDriver() ? dataset.GetDriver()->GetDescription() : "";
    const bool drawing = driver == "DXF";
    reading.contents.format = drawing ? "DXF drawing" : dataset.GetDriver() ? dataset.GetDriver()->GetMetadataItem(GDAL_DMD_LONGNAME) : driver;
    const RingGrouping grouping = groupingOf(selection.ringBy);

    // What layers there are, to check --layer and --ring-by before anything is read.
    std::map<std::string, TableLayer> table;
    std::vector<std::string> present;
    std::set<std::string> fields;
    bool fieldFound = grouping != RingGrouping::ByField;
    for (OGRLayer* layer : dataset.GetLayers()) {
        OGRFeatureDefn* definition = layer->GetLayerDefn();
        if (!drawing) present.push_back(layer->GetName());
        const bool chosen = drawing || selection.layers.empty() ||
                            !unknownLayer({layer->GetName()}, selection.layers).has_value();
        for (int i = 0; i < definition->GetFieldCount(); ++i) {
            const std::string field = definition->GetFieldDefn(i)->GetNameRef();
            fields.insert(field);
            if (chosen && grouping == RingGrouping::ByField && sameLayerName(field, selection.ringBy)) fieldFound = true;
        }
    }
    if (drawing) {
        for (const TableLayer& layer : dxfLayerTable(name)) {
            table[upper(layer.name)] = layer;
            present.push_back(layer.name);
        }
    }

    LayerTally layers;
    SkipTally skips;
    std::vector<PlanPiece> pieces;
    std::set<std::string> hiddenLayers;
    std::int64_t empty = 0;
    // Whether an entity of a drawing on `layerName` is read: the layer's kinds are counted, and
    // what is left out is counted with its reason.
    auto drawnEntityKept = [&](const std::string& layerName, const std::string& kind, bool chosen) {
        layers.count(layerName, kind);
        const auto entry = table.find(upper(layerName));
        if (entry != table.end()) {
            PlanLayer& tallied = layers.layer(layerName);
            tallied.off = entry->second.off;
            tallied.frozen = entry->second.frozen;
        }
        if (!chosen) return false;
        // A layer that --layer names is read even when it is hidden.
        if (entry != table.end() && (entry->second.off || entry->second.frozen) && selection.layers.empty()) {
            skips.add("entities on layers that are off or frozen");
            hiddenLayers.insert(layerName);
            return false;
        }
        return true;
    };
    for (OGRLayer* layer : dataset.GetLayers()) {
        if (!drawing && !selection.layers.empty() && unknownLayer({layer->GetName()}, selection.layers)) continue;
        OGRFeatureDefn* definition = layer->GetLayerDefn();
        const int layerField = drawing ? definition->GetFieldIndex("Layer") : -1;
        const int paperField = definition->GetFieldIndex("PaperSpace");
        const int subclassField = definition->GetFieldIndex("SubClasses");
        const int handleField = definition->GetFieldIndex("EntityHandle");
        const int textField = drawing ? definition->GetFieldIndex("Text") : -1;
        const int groupField = grouping == RingGrouping::ByField ? definition->GetFieldIndex(selection.ringBy.c_str()) : -1;
        layer->ResetReading();
        for (const OGRFeatureUniquePtr& feature : *layer) {
            PlanPiece model;
            model.layer = layerField >= 0 ? feature->GetFieldAsString(layerField) : layer->GetName();
            const bool chosen = selection.layers.empty() || !unknownLayer({model.layer}, selection.layers);
            if (drawing && paperField >= 0 && feature->IsFieldSetAndNotNull(paperField) &&
                feature->GetFieldAsInteger(paperField) != 0) {
                if (chosen) skips.add("entities in paper space");
                continue;
            }
            const OGRGeometry* geometry = feature->GetGeometryRef();
            const OGRwkbGeometryType type = geometry ? geometry->getGeometryType() : wkbNone;
            if (drawing) {
                const bool hasText = textField >= 0 && feature->IsFieldSetAndNotNull(textField) &&
                                     *feature->GetFieldAsString(textField) != '\0';
                const char* style = feature->GetStyleString();
                const bool label = style != nullptr && std::strncmp(style, "LABEL", 5) == 0;
                model.kind = dxfKind(subclassField >= 0 ? feature->GetFieldAsString(subclassField) : "",
                                     hasText || label, type);
                if ((hasText || label) && model.kind == "POINT") model.kind = "TEXT";
            } else {
                model.kind = geometry ? OGRGeometryTypeToName(wkbFlatten(type)) : "feature without geometry";
            }
            if (drawing) {
                if (!drawnEntityKept(model.layer, model.kind, chosen)) continue;
            } else {
                layers.count(model.layer, model.kind);
            }
            if (const auto leftOut = leftOutKinds.find(model.kind); leftOut != leftOutKinds.end()) {
                skips.add(leftOut->second);
                continue;
            }
            if (geometry == nullptr) {
                ++empty;
                continue;
            }
            model.id = handleField >= 0 && feature->IsFieldSetAndNotNull(handleField)
                           ? feature->GetFieldAsString(handleField)
                           : std::to_string(feature->GetFID());
            if (groupField >= 0) model.group = feature->GetFieldAsString(groupField);
            addGeometry(*geometry, model, pieces, empty);
        }
    }
    if (drawing && !failures.empty()) {
        // GDAL skips a SPLINE given by its fit points alone, with a failure: such splines are read
        // here from their fit points. Any other failure refuses the plan.
        const std::vector<FitPointSpline> splines = fitPointSplines(name);
        const bool onlySplines =
            failures.size() <= splines.size() && std::all_of(failures.begin(), failures.end(), [](const std::string& f) {
                return f.find("error at line") != std::string::npos;
            });
        if (onlySplines) {
            failures.clear();
            for (const FitPointSpline& spline : splines) {
                const bool chosen = selection.layers.empty() || !unknownLayer({spline.layer}, selection.layers);
                if (spline.paperSpace) {
                    if (chosen) skips.add("entities in paper space");
                    continue;
                }
                if (!drawnEntityKept(spline.layer, "SPLINE", chosen)) continue;
                PlanPiece piece;
                piece.layer = spline.layer;
                piece.id = spline.handle;
                piece.kind = "SPLINE";
                piece.points = spline.points;
                pieces.push_back(std::move(piece));
            }
        }
    }
    if (!failures.empty()) {
        return refused("GDAL could not read all of '" + name + "' (" + reading.contents.format + "): " +
                       trimmed(failures.front()));
    }
    skips.add("features without geometry", empty);

    if (!selection.layers.empty()) {
        for (const PlanLayer& layer : layers.layers()) present.push_back(layer.name);
        if (const auto unknown = unknownLayer(selection.layers, present)) {
            std::vector<std::string> names;
            for (const std::string& layer : present) {
                if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return sameLayerName(n, layer); })) {
                    names.push_back(layer);
                }
            }
            return refused("--layer '" + *unknown + "' names no layer of '" + name + "': its layers are " +
                           quotedList(names));
        }
    }
    if (!fieldFound) {
        return refused("--ring-by '" + selection.ringBy + "' names no field of '" + name + "': its fields are " +
                       quotedList(std::vector<std::string>(fields.begin(), fields.end())) +
                       ", and --ring-by layer groups by layer");
    }
    reading.contents.layers = layers.layers();
    reading.contents.skipped = skips.phrases();
    if (!hiddenLayers.empty()) {
        std::string& phrase = *std::find_if(reading.contents.skipped.begin(), reading.contents.skipped.end(),
                                            [](const std::string& p) { return p.find("off or frozen") != std::string::npos; });
        phrase += " (" + quotedList(std::vector<std::string>(hiddenLayers.begin(), hiddenLayers.end())) + ")";
    }
    return finish(std::move(reading), pieces, name, selection);
}

}  // namespace

PlanReading readPlanFile(const std::string& name, const PlanSelection& selection) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return refused("cannot open '" + name + "': " + std::strerror(errno));
    std::string head(sniffedBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    auto wholeFile = [&] {
        std::ostringstream text;
        in.clear();
        in.seekg(0);
        text << in.rdbuf();
        return text.str();
    };

    if (head.compare(0, binaryDxfSentinel.size(), binaryDxfSentinel) == 0) {
        return refused("'" + name + "' is a binary DXF drawing, which kelmar does not read: save it as ASCII DXF");
    }
    const bool text = head.find('\0') == std::string::npos;
    if (text && isOwnPointList(head)) {
        if (!selection.layers.empty() || !selection.ringBy.empty() || !selection.columns.empty()) {
            return refused("'" + name + "' is a kelmar point list, one ring without layers or columns: run it "
                           "without --layer, --ring-by and --columns", true);
        }
        return readOwnPointList(wholeFile(), name);
    }

    GdalSettings settings;
    const GDALDatasetUniquePtr dataset(
        GDALDataset::Open(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (dataset) {
        const std::string driver = dataset->GetDriver() ? dataset->GetDriver()->GetDescription() : "";
        bool geometries = driver != "CSV";
        for (OGRLayer* layer : dataset->GetLayers()) geometries = geometries || layer->GetLayerDefn()->GetGeomFieldCount() > 0;
        // A CSV file without a geometry column is a survey point file.
        if (geometries) {
            settings.failures.clear();
            return readDataset(*dataset, name, selection, settings.failures);
        }
    }
    if (text) {
        PlanReading survey = readSurveyFile(wholeFile(), name, selection);
        // A text that is not a list of points either is none of the formats.
        if (!dataset && survey.problem && !survey.problem->usage && head.find("SECTION") != std::string::npos) {
            return refused("'" + name + "' looks like a DXF drawing, but GDAL cannot read it" +
                           (!settings.failures.empty() ? ": " + trimmed(settings.failures.front()) : std::string()) +
                           "; kelmar reads " + planFormats);
        }
        return survey;
    }
    return refused("no reader opens '" + name + "': kelmar reads " + std::string(planFormats));
}
