// The certificate through libharu: one A4 page, the standard Helvetica fonts
// (Windows-1252 text), values wrapped at word boundaries.
#include <hpdf.h>

#include <string>
#include <vector>

#include "host/cli/Certificate.h"

namespace {

constexpr float kPageWidth = 595.28f;  // A4, in points
constexpr float kPageHeight = 841.89f;
constexpr float kMargin = 48;
constexpr float kLabelWidth = 128;
constexpr float kWidth = kPageWidth - 2 * kMargin;
constexpr float kValueWidth = kWidth - kLabelWidth;
constexpr float kSignatureHeight = 118;  // the two signature blocks and the footer

struct Rgb {
  float r, g, b;
};
constexpr Rgb kInk{0.10f, 0.10f, 0.12f};
constexpr Rgb kMuted{0.38f, 0.38f, 0.42f};
constexpr Rgb kRule{0.75f, 0.75f, 0.78f};
constexpr Rgb kErasedInk{0.05f, 0.40f, 0.15f};
constexpr Rgb kErasedFill{0.90f, 0.96f, 0.91f};
constexpr Rgb kNotErasedInk{0.65f, 0.08f, 0.08f};
constexpr Rgb kNotErasedFill{0.99f, 0.92f, 0.91f};

// UTF-8 to the fonts' Windows-1252; what it cannot show becomes '?', control
// characters spaces.
std::string WinAnsi(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    unsigned point = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    if (point < 0x20) {
      out += ' ';
    } else if (point < 0x80 || (point >= 0xA0 && point <= 0xFF)) {
      out += static_cast<char>(point);
    } else if (point == 0x2014) {
      out += '\x97';
    } else if (point == 0x2013) {
      out += '\x96';
    } else {
      out += '?';
    }
  }
  return out;
}

void HandleError(HPDF_STATUS code, HPDF_STATUS detail, void* data) {
  std::string* error = static_cast<std::string*>(data);
  if (error->empty()) {
    *error = "the PDF library failed (error 0x" + std::to_string(code) + ", detail " +
             std::to_string(detail) + ")";
  }
}

// Lays the certificate out from the top of the page down; with `draw` false
// it only measures, so the text size can be chosen to fit one page.
class Layout {
 public:
  Layout(HPDF_Doc pdf, HPDF_Page page, float size)
      : m_page(page),
        m_regular(HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding")),
        m_bold(HPDF_GetFont(pdf, "Helvetica-Bold", "WinAnsiEncoding")),
        m_mono(HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding")),
        m_size(size) {}

  // Where the text ends, from the top of the page; drawn when `draw`.
  float Run(const Certificate& certificate, bool draw) {
    m_draw = draw;
    m_y = kPageHeight - kMargin;
    Title();
    Verdict(certificate);
    for (const Certificate::Section& section : certificate.sections) Section(section);
    return m_y;
  }

  void Signatures(const Certificate& certificate) {
    m_draw = true;
    const float column = (kWidth - 24) / 2;
    float top = kMargin + kSignatureHeight - 12;
    Text(m_bold, 10, kInk, kMargin, top, "Signatures");
    for (std::size_t i = 0; i < certificate.signers.size() && i < 2; ++i) {
      const float x = kMargin + static_cast<float>(i) * (column + 24);
      float y = top - 22;
      Text(m_bold, 8.5f, kInk, x, y, certificate.signers[i]);
      const char* fields[] = {"Name", "Signature", "Date"};
      for (const char* field : fields) {
        y -= 24;
        Text(m_regular, 7.5f, kMuted, x, y + 2, field);
        Rule(x + 48, y, column - 48, kInk, 0.6f);
        // The operator's name is printed where it fits on the line; a longer
        // one is on the page in full above and written here by hand.
        const std::vector<std::string> name =
            Wrap(m_regular, 9, certificate.operatorName, column - 56);
        if (i == 0 && std::string(field) == "Name" && name.size() == 1) {
          Text(m_regular, 9, kInk, x + 52, y + 3, name.front());
        }
      }
    }
    float y = kMargin - 12;
    for (const std::string& line :
         Wrap(m_regular, 6.5f,
              "Check the report's signature with: openssl dgst -sha256 -verify PUBLIC-KEY.pem "
              "-signature REPORT.sig REPORT (or: vantrix-wipe check-report REPORT --key "
              "PUBLIC-KEY.pem)",
              kWidth)) {
      Text(m_regular, 6.5f, kMuted, kMargin, y, line);
      y -= 8;
    }
  }

 private:
  void Title() {
    m_y -= 16;
    Text(m_bold, 17, kInk, kMargin, m_y, "Certificate of Data Sanitization");
    m_y -= 14;
    Text(m_regular, 8.5f, kMuted, kMargin, m_y,
         "Made from the wipe report named below. The report's SHA-256 and its signature make "
         "this record tamper-evident.");
    m_y -= 10;
  }

  void Verdict(const Certificate& certificate) {
    const Rgb ink = certificate.erased ? kErasedInk : kNotErasedInk;
    const Rgb fill = certificate.erased ? kErasedFill : kNotErasedFill;
    const std::vector<std::string> verdict = Wrap(m_bold, 14, certificate.verdict, kWidth - 24);
    const std::vector<std::string> detail =
        Wrap(m_regular, m_size, certificate.verdictDetail, kWidth - 24);
    const float height = 16 + verdict.size() * 17 + detail.size() * (m_size + 3) + 4;
    if (m_draw) {
      HPDF_Page_SetRGBFill(m_page, fill.r, fill.g, fill.b);
      HPDF_Page_SetRGBStroke(m_page, ink.r, ink.g, ink.b);
      HPDF_Page_SetLineWidth(m_page, 1.2f);
      HPDF_Page_Rectangle(m_page, kMargin, m_y - height, kWidth, height);
      HPDF_Page_FillStroke(m_page);
    }
    float y = m_y - 8;
    for (const std::string& line : verdict) Text(m_bold, 14, ink, kMargin + 12, y -= 15, line);
    y -= 4;
    for (const std::string& line : detail) {
      Text(m_regular, m_size, kInk, kMargin + 12, y -= m_size + 3, line);
    }
    m_y -= height + 6;
  }

  void Section(const Certificate::Section& section) {
    m_y -= m_size + 9;
    Text(m_bold, m_size + 1.5f, kInk, kMargin, m_y, section.title);
    m_y -= 3;
    Rule(kMargin, m_y, kWidth, kRule, 0.5f);
    m_y -= 1;
    for (const Certificate::Line& line : section.lines) {
      // Hexadecimal digests in a fixed-width face, so they read digit by digit.
      const bool digest = line.label.find("SHA-256") != std::string::npos &&
                          line.value.find_first_not_of("0123456789abcdef") == std::string::npos;
      const HPDF_Font font = digest ? m_mono : m_regular;
      const std::vector<std::string> values = Wrap(font, m_size, line.value, kValueWidth);
      m_y -= m_size + 2.5f;
      Text(m_bold, m_size, kMuted, kMargin, m_y, line.label);
      float y = m_y;
      for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) y -= m_size + 2.5f;
        Text(font, m_size, kInk, kMargin + kLabelWidth, y, values[i]);
      }
      m_y = y;
    }
  }

  // `text` broken into lines no wider than `width`: at spaces where it can
  // be, inside a word that is wider than the whole line.
  std::vector<std::string> Wrap(HPDF_Font font, float size, const std::string& text, float width) {
    HPDF_Page_SetFontAndSize(m_page, font, size);
    std::vector<std::string> lines;
    std::string rest = WinAnsi(text);
    while (!rest.empty()) {
      HPDF_UINT fits = HPDF_Page_MeasureText(m_page, rest.c_str(), width, HPDF_TRUE, nullptr);
      if (fits == 0) fits = HPDF_Page_MeasureText(m_page, rest.c_str(), width, HPDF_FALSE, nullptr);
      if (fits == 0) fits = 1;
      std::string line = rest.substr(0, fits);
      rest.erase(0, fits);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size()
                                                                     : rest.find_first_not_of(' '));
      lines.push_back(line);
    }
    if (lines.empty()) lines.push_back("");
    return lines;
  }

  // `text` in the fonts' encoding: from Wrap, a literal, or through WinAnsi.
  void Text(HPDF_Font font, float size, Rgb ink, float x, float y, const std::string& text) {
    if (!m_draw) return;
    HPDF_Page_SetRGBFill(m_page, ink.r, ink.g, ink.b);
    HPDF_Page_BeginText(m_page);
    HPDF_Page_SetFontAndSize(m_page, font, size);
    HPDF_Page_TextOut(m_page, x, y, text.c_str());
    HPDF_Page_EndText(m_page);
  }

  void Rule(float x, float y, float width, Rgb ink, float weight) {
    if (!m_draw) return;
    HPDF_Page_SetRGBStroke(m_page, ink.r, ink.g, ink.b);
    HPDF_Page_SetLineWidth(m_page, weight);
    HPDF_Page_MoveTo(m_page, x, y);
    HPDF_Page_LineTo(m_page, x + width, y);
    HPDF_Page_Stroke(m_page);
  }

  HPDF_Page m_page;
  HPDF_Font m_regular, m_bold, m_mono;
  float m_size;
  bool m_draw = false;
  float m_y = 0;
};

// Frees the document it holds.
class Document {
 public:
  explicit Document(std::string* error) : m_pdf(HPDF_New(HandleError, error)) {}
  ~Document() {
    if (m_pdf != nullptr) HPDF_Free(m_pdf);
  }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  HPDF_Doc get() const { return m_pdf; }

 private:
  HPDF_Doc m_pdf;
};

}  // namespace

bool CanRenderCertificatePdf(std::string*) { return true; }

bool RenderCertificatePdf(const Certificate& certificate, std::string* pdf, std::string* error) {
  error->clear();
  Document document(error);
  if (document.get() == nullptr) {
    *error = "the PDF library cannot start";
    return false;
  }
  HPDF_SetCompressionMode(document.get(), HPDF_COMP_ALL);
  HPDF_SetInfoAttr(document.get(), HPDF_INFO_TITLE, "Certificate of Data Sanitization");
  HPDF_SetInfoAttr(document.get(), HPDF_INFO_CREATOR, "vantrix-wipe");
  HPDF_Page page = HPDF_AddPage(document.get());
  HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
  // The largest text size at which everything fits above the signatures.
  float size = 9;
  while (size > 6 && Layout(document.get(), page, size).Run(certificate, false) <
                         kMargin + kSignatureHeight + 8) {
    size -= 0.5f;
  }
  Layout layout(document.get(), page, size);
  layout.Run(certificate, true);
  layout.Signatures(certificate);
  if (!error->empty() || HPDF_SaveToStream(document.get()) != HPDF_OK) {
    if (error->empty()) *error = "the PDF library cannot save the certificate";
    return false;
  }
  HPDF_UINT32 length = HPDF_GetStreamSize(document.get());
  pdf->assign(length, '\0');
  HPDF_ReadFromStream(document.get(), reinterpret_cast<HPDF_BYTE*>(&(*pdf)[0]), &length);
  pdf->resize(length);
  return error->empty() && !pdf->empty();
}
