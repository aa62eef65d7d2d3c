#include "tools/SampleData.h"

#include <QStringBuilder>
#include <QStringList>
#include <cstdio>

namespace vidra::sample {

namespace {

// splitmix64: small, fast and the same everywhere; the standard library's
// distributions are not specified bit for bit, so none of them is used.
constexpr std::uint64_t mix64(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

class Rng
{
public:
    explicit Rng(std::uint64_t state) : m_state(state) {}
    std::uint64_t next()
    {
        m_state += 0x9E3779B97F4A7C15ULL;
        return mix64(m_state);
    }
    // The lists are tiny next to 2^64, so the modulo's bias is negligible.
    int below(int n) { return int(next() % std::uint64_t(n)); }
    bool percent(int p) { return below(100) < p; }
    const QString& pick(const QStringList& list) { return list[below(int(list.size()))]; }

private:
    std::uint64_t m_state;
};

QStringList utf8List(std::initializer_list<const char*> items)
{
    QStringList out;
    out.reserve(qsizetype(items.size()));
    for (const char* s : items)
        out << QString::fromUtf8(s);
    return out;
}

struct Words
{
    QStringList surnames = utf8List({
        "Jovanović",   "Petrović",    "Nikolić",     "Marković",       "Đorđević",
        "Stojanović",  "Ilić",        "Stanković",   "Pavlović",       "Milošević",
        "Popović",     "Đukić",       "Živković",    "Todorović",      "Kostić",
        "Ristić",      "Savić",       "Lazić",       "Kovačević",      "Mitrović",
        "Janković",    "Babić",       "Tomić",       "Obradović",      "Vasić",
        "Simić",       "Stevanović",  "Radovanović", "Knežević",       "Marinković",
        "Lukić",       "Vuković",     "Filipović",   "Mladenović",     "Cvetković",
        "Petković",    "Perić",       "Antić",       "Bogdanović",     "Ranković",
        "Đurić",       "Milovanović", "Živanović",   "Gajić",          "Matić",
        "Bošković",    "Stefanović",  "Jeremić",     "Mihajlović",     "Šarić",
        "Čolić",       "Ćirić",       "Šćekić",      "Đokić",          "Vučković",
        "Žugić",       "Pešić",       "Nešić",       "Radosavljević",  "Aleksić",
        "Zdravković",  "Grujić",      "Jakovljević", "Miletić",        "Veljković",
        "Stamenković", "Ćosić",       "Čupić",       "Mićić",          "Božić",
        "Jović",       "Krstić",      "Despotović",  "Zečević",        "Mijatović",
        "Erić",        "Dragićević",  "Novaković",   "Ljubisavljević", "Milenković",
        "Spasić",      "Mirković",    "Ćurčić",      "Bojić",          "Đurđević",
        "Žarković",    "Tešić",       "Kecman",      "Ivković",        "Bjelić",
    });
    QStringList maleNames = utf8List({
        "Aleksandar", "Milan",     "Nikola",   "Dragan",  "Marko",    "Zoran",     "Stefan",
        "Miloš",      "Nenad",     "Dejan",    "Goran",   "Vladimir", "Dušan",     "Đorđe",
        "Milorad",    "Miodrag",   "Slobodan", "Živorad", "Radoš",    "Branislav", "Časlav",
        "Radiša",     "Života",    "Srđan",    "Željko",  "Saša",     "Predrag",   "Ljubiša",
        "Miroljub",   "Vukašin",   "Lazar",    "Uroš",    "Ognjen",   "Bojan",     "Ivan",
        "Jovan",      "Petar",     "Luka",     "Filip",   "Vuk",      "Dobrivoje", "Tihomir",
        "Radomir",    "Dragoljub", "Ćedomir",  "Božidar", "Mihajlo",  "Velimir",
    });
    QStringList femaleNames = utf8List({
        "Milica",   "Jelena",   "Ana",      "Marija",  "Dragana", "Snežana", "Jasmina",  "Gordana",
        "Ljiljana", "Tatjana",  "Vesna",    "Biljana", "Nataša",  "Mirjana", "Zorica",   "Ivana",
        "Danijela", "Slađana",  "Svetlana", "Olivera", "Dušica",  "Živana",  "Radmila",  "Ružica",
        "Desanka",  "Mileva",   "Đurđica",  "Nevena",  "Teodora", "Jovana",  "Katarina", "Anđela",
        "Tijana",   "Sanja",    "Branka",   "Vera",    "Stana",   "Milena",  "Kosana",   "Ljubica",
        "Dobrila",  "Smiljana", "Božana",   "Danica",  "Zagorka", "Nađa",
    });
    // Firms and offices: a kind followed by a surname or a first name.
    QStringList firmsBySurname = utf8List({
        "Auto servis",
        "Stolarija",
        "Trgovina",
        "Zanatska radnja",
        "Vodoinstalater",
        "Električar",
        "Bravarija",
        "Knjigovodstvena agencija",
    });
    QStringList firmsByName = utf8List({
        "Frizerski salon",
        "Kafana kod",
        "Pekara",
        "Butik",
        "Cvećara",
    });
    QStringList institutions = utf8List({
        "Dom zdravlja Kostelin",
        "Osnovna škola Vuk Karadžić",
        "Pošta Kostelin",
        "Opštinska uprava Kostelin",
        "Veterinarska stanica",
        "Apoteka Zdravlje",
        "Poljoprivredna apoteka Žetva",
        "Dobrovoljno vatrogasno društvo",
        "Mesna zajednica Gornja Šuma",
        "Biblioteka Đura Jakšić",
    });
    QStringList streets = utf8List({
        "Kneza Miloša",
        "Njegoševa",
        "Cara Dušana",
        "Vojvode Mišića",
        "Karađorđeva",
        "Svetog Save",
        "Nikole Tesle",
        "Vuka Karadžića",
        "Bulevar oslobođenja",
        "Đure Jakšića",
        "Žarka Zrenjanina",
        "Šumadijska",
        "Čačanska",
        "Kralja Petra I",
        "Branka Radičevića",
        "Jovana Cvijića",
        "Desanke Maksimović",
        "Ive Andrića",
        "Miloša Obilića",
        "Hajduk Veljkova",
        "Stevana Sremca",
        "Dositejeva",
        "Gavrila Principa",
        "Žička",
        "Ćirila i Metodija",
        "Zmaj Jovina",
        "Kosovska",
        "Partizanska",
        "Braće Jerković",
        "Ljubićka",
        "Takovska",
        "Moravska",
        "Dunavska",
        "Savska",
        "Drinska",
        "Vojvode Stepe",
        "Vojvode Putnika",
        "Bulevar kralja Aleksandra",
        "Kneginje Ljubice",
        "Hilandarska",
        "Studenička",
        "Resavska",
        "Kolubarska",
        "Topličina",
        "Glavna",
        "Školska",
        "Sremska",
        "Lole Ribara",
        "Radnička",
        "Železnička",
        "Cvijetina Ćirića",
        "Šantićeva",
    });
    QStringList houseLetters = utf8List({"a", "b", "v"});
    // Every name fits the 16 characters of a place.
    QStringList villages = utf8List({
        "Brezovica",    "Donje Polje", "Gornja Šuma",
        "Rašće",        "Bukovac",     "Vrbica",
        "Crnobare",     "Ćuprija",     "Žabare",
        "Čestin",       "Šljivovica",  "Đurinac",
        "Ljubovija",    "Kosjerić",    "Lučani",
        "Ivanjica",     "Mionica",     "Ljig",
        "Bajina Bašta", "Požega",      "Užice",
        "Čačak",        "Šabac",       "Jagodina",
        "Ražanj",       "Prijepolje",  "Gornji Milanovac",
        "Dražanj",      "Bečmen",      "Kraljevo",
    });
    QStringList months = utf8List({
        "januara",
        "februara",
        "marta",
        "aprila",
        "maja",
        "juna",
        "jula",
        "avgusta",
        "septembra",
        "oktobra",
        "novembra",
        "decembra",
    });
    QStringList fixedNotes = utf8List({
        "Zvati samo radnim danima.",
        "Faks na istom broju.",
        "Ulaz iz dvorišta.",
        "Broj prenet sa prethodnog vlasnika.",
        "Lokal u prizemlju, pored pošte.",
        "Slabije čuje, govoriti glasnije.",
        "Dežurni telefon mesne zajednice.",
        "Na privremenom radu u inostranstvu.",
        "Ključ od kapije kod komšije.",
        "Javlja se sekretarica.",
    });
};

const Words& words()
{
    static const Words w;
    return w;
}

QString note(Rng& rng)
{
    const Words& w = words();
    switch (rng.below(6)) {
    case 0:
        return QStringLiteral("Radno vreme od %1 do %2 h.")
            .arg(7 + rng.below(3))
            .arg(15 + rng.below(6));
    case 1:
        return QStringLiteral("Ne zvati posle %1 h").arg(21 + rng.below(3));
    case 2:
        return QStringLiteral("Novi broj od %1. %2.")
            .arg(1 + rng.below(28))
            .arg(rng.pick(w.months));
    case 3:
        return QStringLiteral("Subotom od %1 do %2 h.")
            .arg(7 + rng.below(3))
            .arg(12 + rng.below(3));
    default:
        return rng.pick(w.fixedNotes);
    }
}

QString owner(Rng& rng)
{
    // Each pick is its own statement: the operands of % are not evaluated in
    // a fixed order, and the draws must be.
    const Words& w = words();
    const int kind = rng.below(100);
    if (kind < 2) return rng.pick(w.institutions);
    if (kind < 4) {
        const QString& firm = rng.pick(w.firmsBySurname);
        return firm % QLatin1Char(' ') % rng.pick(w.surnames);
    }
    if (kind < 5) {
        const QString& firm = rng.pick(w.firmsByName);
        return firm % QLatin1Char(' ') % rng.pick(w.femaleNames);
    }
    // People are listed surname first, as in a printed directory.
    QString surname = rng.pick(w.surnames);
    if (rng.below(2) == 0) return surname % QLatin1Char(' ') % rng.pick(w.maleNames);
    if (rng.percent(5)) surname += QLatin1Char('-') % rng.pick(w.surnames);
    return surname % QLatin1Char(' ') % rng.pick(w.femaleNames);
}

QString address(Rng& rng)
{
    const Words& w = words();
    const QString& street = rng.pick(w.streets);
    if (rng.percent(3)) return street % QLatin1String(" bb"); // "bez broja": no house number
    // Most houses are in the first few dozen numbers of a street.
    QString text =
        street % QLatin1Char(' ') % QString::number(1 + rng.below(rng.percent(75) ? 60 : 200));
    if (rng.percent(8)) text += rng.pick(w.houseLetters);
    if (rng.percent(5)) text += QLatin1Char('/') % QString::number(1 + rng.below(40));
    return text;
}

QString place(Rng& rng)
{
    if (rng.percent(10)) return QString();
    if (rng.percent(35)) return QStringLiteral("Kostelin");
    return rng.pick(words().villages);
}

// A keyed Feistel network on 26 bits (13 + 13), walked until it lands below
// kCapacity: a permutation of 0..kCapacity-1, so numbers are unique by
// construction rather than by checking.
constexpr int kHalfBits = 13;
constexpr std::uint64_t kHalfMask = (1u << kHalfBits) - 1;
constexpr int kRounds = 4;
static_assert(kCapacity <= (std::int64_t(1) << (2 * kHalfBits)));

std::uint64_t feistel(std::uint64_t x, const std::uint64_t (&keys)[kRounds])
{
    std::uint64_t left = x >> kHalfBits;
    std::uint64_t right = x & kHalfMask;
    for (std::uint64_t key : keys) {
        const std::uint64_t t = left ^ (mix64(right ^ key) & kHalfMask);
        left = right;
        right = t;
    }
    return (left << kHalfBits) | right;
}

} // namespace

std::int64_t numberSlot(std::uint64_t seed, std::int64_t index)
{
    std::uint64_t keys[kRounds];
    for (int r = 0; r < kRounds; ++r)
        keys[r] = mix64(mix64(seed ^ 0x5EED0F0E1F1F0000ULL) + std::uint64_t(r));
    std::uint64_t x = std::uint64_t(index);
    do
        x = feistel(x, keys);
    while (x >= std::uint64_t(kCapacity));
    return std::int64_t(x);
}

QString formatNumber(std::int64_t slot)
{
    const int area = 10 + int(slot / kLocalNumbers);
    const int local = 200'000 + int(slot % kLocalNumbers);
    char buf[40];
    std::snprintf(buf, sizeof buf, "0%02d/%03d-%03d", area, local / 1000, local % 1000);
    return QString::fromLatin1(buf);
}

SampleRow sampleRow(std::uint64_t seed, std::int64_t index)
{
    Rng rng(mix64(mix64(seed) + std::uint64_t(index)));
    SampleRow row;
    row.telefon = formatNumber(numberSlot(seed, index));
    row.vlasnik = owner(rng);
    row.adresa = address(rng);
    row.mesto = place(rng);
    if (rng.percent(20)) {
        row.napomena = note(rng);
        // Now and then a second line, never the same kind of remark twice.
        if (rng.percent(12)) {
            QString second = note(rng);
            if (second.left(6) != row.napomena.left(6)) row.napomena += QLatin1Char('\n') % second;
        }
    }
    return row;
}

} // namespace vidra::sample
