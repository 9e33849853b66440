// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/TextRecognizer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <leptonica/allheaders.h>
#include <memory>
#include <mutex>
#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/osdetect.h>
#include <tesseract/resultiterator.h>
#include <utility>

// Tesseract keeps some of its settings (debug_file among them) in process-wide globals and
// has had races in concurrent Init calls, so loading is serialised; recognition itself runs
// with one TessBaseAPI per thread and shares nothing.
namespace {

struct LanguageCode {
    std::string_view subtag;
    std::string_view tesseract;
};

// Primary language subtags (ISO 639-1, or 639-2/3 where there is no two-letter code) and the
// names of Tesseract's data files for them.
constexpr std::array kLanguages{
    LanguageCode{"af", "afr"}, LanguageCode{"ar", "ara"}, LanguageCode{"az", "aze"},
    LanguageCode{"be", "bel"}, LanguageCode{"bg", "bul"}, LanguageCode{"bn", "ben"},
    LanguageCode{"bs", "bos"}, LanguageCode{"ca", "cat"}, LanguageCode{"cs", "ces"},
    LanguageCode{"cy", "cym"}, LanguageCode{"da", "dan"}, LanguageCode{"de", "deu"},
    LanguageCode{"el", "ell"}, LanguageCode{"en", "eng"}, LanguageCode{"eo", "epo"},
    LanguageCode{"es", "spa"}, LanguageCode{"et", "est"}, LanguageCode{"eu", "eus"},
    LanguageCode{"fa", "fas"}, LanguageCode{"fi", "fin"}, LanguageCode{"fil", "fil"},
    LanguageCode{"fr", "fra"}, LanguageCode{"ga", "gle"}, LanguageCode{"gl", "glg"},
    LanguageCode{"gu", "guj"}, LanguageCode{"he", "heb"}, LanguageCode{"hi", "hin"},
    LanguageCode{"hr", "hrv"}, LanguageCode{"hu", "hun"}, LanguageCode{"hy", "hye"},
    LanguageCode{"id", "ind"}, LanguageCode{"is", "isl"}, LanguageCode{"it", "ita"},
    LanguageCode{"ja", "jpn"}, LanguageCode{"ka", "kat"}, LanguageCode{"kk", "kaz"},
    LanguageCode{"km", "khm"}, LanguageCode{"kn", "kan"}, LanguageCode{"ko", "kor"},
    LanguageCode{"la", "lat"}, LanguageCode{"lt", "lit"}, LanguageCode{"lv", "lav"},
    LanguageCode{"mk", "mkd"}, LanguageCode{"ml", "mal"}, LanguageCode{"mr", "mar"},
    LanguageCode{"ms", "msa"}, LanguageCode{"mt", "mlt"}, LanguageCode{"nb", "nor"},
    LanguageCode{"ne", "nep"}, LanguageCode{"nl", "nld"}, LanguageCode{"nn", "nor"},
    LanguageCode{"no", "nor"}, LanguageCode{"pa", "pan"}, LanguageCode{"pl", "pol"},
    LanguageCode{"pt", "por"}, LanguageCode{"ro", "ron"}, LanguageCode{"ru", "rus"},
    LanguageCode{"sk", "slk"}, LanguageCode{"sl", "slv"}, LanguageCode{"sq", "sqi"},
    LanguageCode{"sr", "srp"}, LanguageCode{"sv", "swe"}, LanguageCode{"sw", "swa"},
    LanguageCode{"ta", "tam"}, LanguageCode{"te", "tel"}, LanguageCode{"th", "tha"},
    LanguageCode{"tl", "tgl"}, LanguageCode{"tr", "tur"}, LanguageCode{"uk", "ukr"},
    LanguageCode{"ur", "urd"}, LanguageCode{"uz", "uzb"}, LanguageCode{"vi", "vie"},
};

// Tesseract rejects resolutions outside this range with a warning and guesses instead.
constexpr double kMinCredibleDpi = 70;
constexpr double kMaxCredibleDpi = 2400;
constexpr int kTypicalScanDpi = 300;

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Chinese is the one language whose Tesseract data depends on the script, not the language.
std::string chineseData(const std::string& lowerTag) {
    const bool traditional =
        lowerTag.find("-hant") != std::string::npos || lowerTag.find("-tw") != std::string::npos ||
        lowerTag.find("-hk") != std::string::npos || lowerTag.find("-mo") != std::string::npos;
    return traditional ? "chi_tra" : "chi_sim";
}

// The installed Tesseract languages for the tags, in order, without repeats, joined by '+'.
std::string installedLanguages(const std::vector<std::string>& tags,
                               const std::filesystem::path& folder) {
    std::vector<std::string> codes;
    for (const std::string& tag : tags) {
        const std::string code = TextRecognizer::tesseractLanguage(tag);
        std::error_code error;
        if (code.empty() || std::find(codes.begin(), codes.end(), code) != codes.end() ||
            !std::filesystem::is_regular_file(folder / (code + ".traineddata"), error))
            continue;
        codes.push_back(code);
    }
    std::string joined;
    for (const std::string& code : codes)
        joined += (joined.empty() ? "" : "+") + code;
    return joined;
}

void silenceLibraries(tesseract::TessBaseAPI& api) {
    static std::once_flag once;
    std::call_once(once, [&api] {
        // debug_file is a global: every tprintf (resolution guesses, "Empty page!!", diacritics
        // counts) goes to it instead of stderr once it names a file.
        api.SetVariable("debug_file", "/dev/null");
        leptSetStderrHandler([](const char*) {});
    });
}

int credibleDpi(const Image& image, double dotsPerInch) {
    for (double dpi : {image.dotsPerInch, dotsPerInch}) {
        if (dpi >= kMinCredibleDpi && dpi <= kMaxCredibleDpi)
            return static_cast<int>(dpi + 0.5);
    }
    return kTypicalScanDpi;
}

bool wellFormed(const Image& image) {
    return image.widthPixels > 0 && image.heightPixels > 0 &&
           (image.channels == 1 || image.channels == 3) && image.pixels.size() >= image.byteCount();
}

std::mutex& initMutex() {
    static std::mutex mutex;
    return mutex;
}

// Tesseract's orientation ids 0–3 name these clockwise turns (OrientationIdToValue).
constexpr std::array<int, 4> kTurnOfOrientationId = {0, 270, 180, 90};

TextRecognizer::Orientation orientationOf(const tesseract::OSResults& results) {
    std::array<int, 4> ids = {0, 1, 2, 3};
    std::stable_sort(ids.begin(), ids.end(), [&](int left, int right) {
        return results.orientations[left] > results.orientations[right];
    });
    TextRecognizer::Orientation orientation;
    for (std::size_t rank = 0; rank < ids.size(); ++rank)
        orientation.turnsByEvidence[rank] =
            kTurnOfOrientationId[static_cast<std::size_t>(ids[rank])];
    orientation.turnDegrees = orientation.turnsByEvidence[0];
    orientation.confidence = results.orientations[ids[0]] - results.orientations[ids[1]];
    return orientation;
}

} // namespace

struct TextRecognizer::State {
    tesseract::TessBaseAPI api;
    std::vector<std::string> tags;
    std::string languages; // empty: nothing loaded, recognition finds nothing
    // Orientation detection has its own engine, with legacy models that recognition never
    // loads; made on first use.
    std::unique_ptr<tesseract::TessBaseAPI> osd;
    bool osdFailed = false;

    void load(const std::vector<std::string>& languageTags);
    bool loadOsd();
    std::vector<Line> readLines(int widthPixels, int heightPixels);
};

bool TextRecognizer::State::loadOsd() {
    if (osd || osdFailed)
        return osd != nullptr;
    const std::lock_guard lock(initMutex());
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    silenceLibraries(*engine);
    const std::filesystem::path folder = dataFolder();
    std::error_code error;
    osdFailed = folder.empty() ||
                !std::filesystem::is_regular_file(folder / "osd.traineddata", error) ||
                engine->Init(folder.c_str(), "osd", tesseract::OEM_TESSERACT_ONLY) != 0;
    if (osdFailed)
        return false;
    engine->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    // Orientation detection first looks for a zone file named after the input ("noname.uzn" in
    // the working folder when unnamed); a name in no folder that can exist finds none.
    engine->SetInputName("/dev/null/parvo");
    osd = std::move(engine);
    return true;
}

void TextRecognizer::State::load(const std::vector<std::string>& languageTags) {
    const std::lock_guard lock(initMutex());
    tags = languageTags;
    languages.clear();
    api.End();
    silenceLibraries(api);
    const std::filesystem::path folder = dataFolder();
    std::string wanted = folder.empty() ? std::string() : installedLanguages(tags, folder);
    if (wanted.empty())
        return;
    // The LSTM engine is the accurate one (the data installed has no legacy models). The
    // dictionaries (load_system_dawg, load_freq_dawg…) stay on: they are the language
    // correction.
    if (api.Init(folder.c_str(), wanted.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
        return;
    // TessBaseAPI defaults to a single uniform block; a page needs layout analysis.
    api.SetPageSegMode(tesseract::PSM_AUTO);
    languages = std::move(wanted);
}

TextRecognizer::TextRecognizer(const std::vector<std::string>& languageTags)
    : m_state(std::make_unique<State>()) {
    m_state->load(languageTags);
}

TextRecognizer::TextRecognizer(TextRecognizer&&) noexcept = default;
TextRecognizer& TextRecognizer::operator=(TextRecognizer&&) noexcept = default;
TextRecognizer::~TextRecognizer() = default;

// TESSDATA_PREFIX as Tesseract itself reads it, else the packaged locations.
std::filesystem::path TextRecognizer::dataFolder() {
    std::error_code error;
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix && *prefix) {
        if (std::filesystem::is_directory(prefix, error))
            return prefix;
    }
    for (const char* folder :
         {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
          "/usr/share/tessdata", "/usr/local/share/tessdata", "/opt/homebrew/share/tessdata"}) {
        if (std::filesystem::is_directory(folder, error))
            return folder;
    }
    return {};
}

std::string TextRecognizer::tesseractLanguage(std::string_view languageTag) {
    const std::string lowerTag = lowerAscii(languageTag);
    const std::string primary = lowerTag.substr(0, lowerTag.find_first_of("-_"));
    if (primary == "zh")
        return chineseData(lowerTag);
    for (const LanguageCode& language : kLanguages) {
        if (language.subtag == primary)
            return std::string(language.tesseract);
    }
    return {};
}

const std::string& TextRecognizer::languages() const {
    static const std::string none;
    return m_state ? m_state->languages : none;
}

std::vector<TextRecognizer::Line>
TextRecognizer::recognize(const Image& image, const std::vector<std::string>& languageTags,
                          double dotsPerInch) {
    if (!m_state)
        return {};
    if (languageTags != m_state->tags)
        m_state->load(languageTags);
    if (m_state->languages.empty() || !wellFormed(image))
        return {};
    // libgomp otherwise lets Tesseract's parallel loops spin-wait against each other and
    // against other workers: a page takes several times longer. Serial is faster here.
    omp_set_max_active_levels(0);
    tesseract::TessBaseAPI& api = m_state->api;
    api.SetImage(image.pixels.data(), image.widthPixels, image.heightPixels, image.channels,
                 static_cast<int>(image.bytesPerRow()));
    api.SetSourceResolution(credibleDpi(image, dotsPerInch));
    std::vector<Line> lines;
    if (api.Recognize(nullptr) == 0)
        lines = m_state->readLines(image.widthPixels, image.heightPixels);
    api.Clear();
    return lines;
}

std::optional<TextRecognizer::Orientation> TextRecognizer::orientation(const Image& image) {
    if (!m_state || !wellFormed(image) || !m_state->loadOsd())
        return std::nullopt;
    omp_set_max_active_levels(0);
    tesseract::TessBaseAPI& osd = *m_state->osd;
    osd.SetImage(image.pixels.data(), image.widthPixels, image.heightPixels, image.channels,
                 static_cast<int>(image.bytesPerRow()));
    osd.SetSourceResolution(credibleDpi(image, 0));
    tesseract::OSResults results;
    const bool found = osd.DetectOS(&results);
    osd.Clear();
    if (!found)
        return std::nullopt;
    return orientationOf(results);
}

std::vector<TextRecognizer::Line> TextRecognizer::State::readLines(int widthPixels,
                                                                   int heightPixels) {
    std::vector<Line> lines;
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return lines;
    const double w = widthPixels;
    const double h = heightPixels;
    do {
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!text || !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
            continue;
        Line line;
        line.text = text.get();
        while (!line.text.empty() && line.text.back() == '\n')
            line.text.pop_back();
        // Pixel box, origin top-left, right and bottom exclusive → fractions, origin bottom-left.
        line.x = left / w;
        line.y = 1.0 - bottom / h;
        line.width = (right - left) / w;
        line.height = (bottom - top) / h;
        line.confidence = it->Confidence(tesseract::RIL_TEXTLINE);
        lines.push_back(std::move(line));
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}
