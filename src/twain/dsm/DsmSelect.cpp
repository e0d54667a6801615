#include "twain/dsm/DsmSelect.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace {

#define ARABIC "اختيار المصدر", "المصادر:", "اختيار", "إلغاء"
#define ENGLISH "Select Source", "Sources:", "Select", "Cancel"
#define SIMPLIFIED "选择数据源", "数据源:", "选择", "取消"
#define TRADITIONAL "選擇影像來源", "影像來源:", "確定", "取消"
#define DUTCH "Bron selecteren", "Bronnen:", "Selecteren", "Annuleren"
#define NONE "", "", "", ""

const DsmSelectText kTexts[] = {
    {TWLG_DANISH, "da_DK", "Vælg kilde", "Kilder:", "Vælg", "Annuller"},
    {TWLG_DUTCH, "nl_NL", DUTCH},
    {TWLG_ENGLISH, "en", ENGLISH},
    {TWLG_FRENCH, "fr_FR", "Sélectionner source", "Sources:", "Sélectionner", "Annuler"},
    {TWLG_GERMAN, "de_DE", "Quelle wählen", "Quellen:", "Auswählen", "Abbrechen"},
    {TWLG_AFRIKAANS, "af_ZA", "Kies bron", "Bronne:", "Kies", "Kanselleer"},
    {TWLG_ALBANIA, "sq_AL", "Zgjidh burimin", "Burimet:", "Zgjidh", "Anulo"},
    {TWLG_ARABIC, "ar", ARABIC},
    {TWLG_ARABIC_ALGERIA, "ar_DZ", ARABIC},
    {TWLG_ARABIC_BAHRAIN, "ar_BH", ARABIC},
    {TWLG_ARABIC_EGYPT, "ar_EG", ARABIC},
    {TWLG_ARABIC_IRAQ, "ar_IQ", ARABIC},
    {TWLG_ARABIC_JORDAN, "ar_JO", ARABIC},
    {TWLG_ARABIC_KUWAIT, "ar_KW", ARABIC},
    {TWLG_ARABIC_LEBANON, "ar_LB", ARABIC},
    {TWLG_ARABIC_LIBYA, "ar_LY", ARABIC},
    {TWLG_ARABIC_MOROCCO, "ar_MA", ARABIC},
    {TWLG_ARABIC_OMAN, "ar_OM", ARABIC},
    {TWLG_ARABIC_QATAR, "ar_QA", ARABIC},
    {TWLG_ARABIC_SAUDIARABIA, "ar_SA", ARABIC},
    {TWLG_ARABIC_SYRIA, "ar_SY", ARABIC},
    {TWLG_ARABIC_TUNISIA, "ar_TN", ARABIC},
    {TWLG_ARABIC_UAE, "ar_AE", ARABIC},
    {TWLG_ARABIC_YEMEN, "ar_YE", ARABIC},
    {TWLG_BASQUE, "eu_ES", "Hautatu iturburua", "Iturburuak:", "Hautatu", "Utzi"},
    {TWLG_BYELORUSSIAN, "be_BY", "Выбраць крыніцу", "Крыніцы:", "Выбраць", "Скасаваць"},
    {TWLG_BULGARIAN, "bg_BG", "Избор на източник", "Източници:", "Избор", "Отказ"},
    {TWLG_CATALAN, "ca_ES", "Selecciona l'origen", "Orígens:", "Selecciona", "Cancel·la"},
    {TWLG_CHINESE, "zh", SIMPLIFIED},
    {TWLG_CHINESE_HONGKONG, "zh_HK", TRADITIONAL},
    {TWLG_CHINESE_PRC, "zh_CN", SIMPLIFIED},
    {TWLG_CHINESE_SINGAPORE, "zh_CN", SIMPLIFIED},
    {TWLG_CHINESE_SIMPLIFIED, "zh_CN", SIMPLIFIED},
    {TWLG_CHINESE_TAIWAN, "zh_TW", TRADITIONAL},
    {TWLG_CHINESE_TRADITIONAL, "zh_TW", TRADITIONAL},
    {TWLG_CROATIA, "hr_HR", "Odaberi izvor", "Izvori:", "Odaberi", "Odustani"},
    {TWLG_CZECH, "cs_CZ", "Vybrat zdroj", "Zdroje:", "Vybrat", "Storno"},
    {TWLG_DUTCH_BELGIAN, "nl_BE", DUTCH},
    {TWLG_ENGLISH_AUSTRALIAN, "en_AU", ENGLISH},
    {TWLG_ENGLISH_CANADIAN, "en_CA", ENGLISH},
    {TWLG_ENGLISH_IRELAND, "en_IE", ENGLISH},
    // Languages without texts here: never chosen.
    {TWLG_ASSAMESE, "as_IN", NONE},
    {TWLG_BENGALI, "bn_IN", NONE},
    {TWLG_BIHARI, "bh_IN", NONE},
    {TWLG_BODO, "brx_IN", NONE},
    {TWLG_DOGRI, "doi_IN", NONE},
    {-1, "", NONE},
};

#undef ARABIC
#undef ENGLISH
#undef SIMPLIFIED
#undef TRADITIONAL
#undef DUTCH
#undef NONE

bool HasTexts(const DsmSelectText& row) { return row.title[0] != '\0'; }

const DsmSelectText& EnglishRow() {
    for (const DsmSelectText* row = kTexts; row->language >= 0; ++row)
        if (row->language == TWLG_ENGLISH) return *row;
    return kTexts[0];
}

// The user's locale without encoding or modifier: "zh_CN" from
// "zh_CN.UTF-8".
std::string UserLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && value[0] != '\0') {
            std::string locale(value);
            const std::size_t cut = locale.find_first_of(".@");
            if (cut != std::string::npos) locale.resize(cut);
            return locale;
        }
    }
    return {};
}

std::string_view LanguagePart(std::string_view locale) { return locale.substr(0, locale.find('_')); }

std::mutex g_chooserLock;
DsmSelectChooser g_chooser;

}  // namespace

const DsmSelectText* DsmSelectTexts() { return kTexts; }

const DsmSelectText& DsmSelectTextFor(TW_UINT16 language) {
    if (language == TWLG_USERLOCALE) {
        const std::string locale = UserLocale();
        if (!locale.empty()) {
            for (const DsmSelectText* row = kTexts; row->language >= 0; ++row)
                if (HasTexts(*row) && locale == row->locale) return *row;
            for (const DsmSelectText* row = kTexts; row->language >= 0; ++row)
                if (HasTexts(*row) && LanguagePart(locale) == LanguagePart(row->locale)) return *row;
        }
        return EnglishRow();
    }
    for (const DsmSelectText* row = kTexts; row->language >= 0; ++row)
        if (row->language == static_cast<TW_INT16>(language) && HasTexts(*row)) return *row;
    return EnglishRow();
}

DsmSelectChooser DsmSetSelectChooser(DsmSelectChooser chooser) {
    std::lock_guard guard(g_chooserLock);
    DsmSelectChooser previous = std::move(g_chooser);
    g_chooser = std::move(chooser);
    return previous;
}

DsmSelectChooser DsmGetSelectChooser() {
    std::lock_guard guard(g_chooserLock);
    return g_chooser;
}
