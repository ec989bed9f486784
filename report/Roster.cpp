// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/Roster.h"

#include "record/Csv.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#ifdef POROME_HAVE_LIBZIP
#include <zip.h>
#endif

namespace report {

namespace {

QString Size(qint64 bytes)
{
    if (bytes < (1 << 20))
        return QStringLiteral("%1 bytes").arg(bytes);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1 << 20), 0, 'f', 1);
}

// Where the roster's files are read from: a folder or a zip.
class Source
{
public:
    explicit Source(const RosterLimits& limits) : limits_(limits) {}
    virtual ~Source() = default;
    virtual bool Has(const QString& name) const = 0;
    // The file's bytes, or false with one line about why.
    virtual bool Read(const QString& name, QByteArray* bytes, QString* problem) = 0;

protected:
    // False when a file of `size` bytes would pass a bound; `problem` says which.
    bool Fits(const QString& name, qint64 size, QString* problem)
    {
        if (size > limits_.fileBytes) {
            *problem = QStringLiteral("%1 is larger than the %2 a roster file may; not read")
                           .arg(name, Size(limits_.fileBytes));
            return false;
        }
        if (total_ + size > limits_.totalBytes) {
            *problem = QStringLiteral("%1 would bring the roster over %2 in all; not read")
                           .arg(name, Size(limits_.totalBytes));
            return false;
        }
        total_ += size;
        return true;
    }
    const RosterLimits& limits_;
    qint64 total_ = 0;
};

class FolderSource : public Source
{
public:
    FolderSource(const QString& folder, const RosterLimits& limits) : Source(limits), dir_(folder)
    {
        root_ = QFileInfo(folder).canonicalFilePath();
        for (const QString& f : dir_.entryList(QDir::Files | QDir::System))
            names_.insert(f.toLower(), f);
    }
    bool Has(const QString& name) const override { return names_.contains(name.toLower()); }
    bool Read(const QString& name, QByteArray* bytes, QString* problem) override
    {
        const QFileInfo info(dir_.filePath(names_.value(name.toLower(), name)));
        // A link may lead anywhere: only what lies in the folder itself is read.
        const QString real = info.canonicalFilePath();
        if (real.isEmpty() || QFileInfo(real).absolutePath() != root_) {
            *problem = QStringLiteral("%1 leads outside the roster's folder; refused").arg(name);
            return false;
        }
        if (!Fits(name, info.size(), problem))
            return false;
        QFile f(real);
        if (!f.open(QIODevice::ReadOnly)) {
            *problem = QStringLiteral("cannot read %1: %2").arg(name, f.errorString());
            return false;
        }
        // The file may have grown since its size was read.
        *bytes = f.read(limits_.fileBytes + 1);
        if (bytes->size() > limits_.fileBytes) {
            bytes->clear();
            *problem = QStringLiteral("%1 is larger than the %2 a roster file may; not read")
                           .arg(name, Size(limits_.fileBytes));
            return false;
        }
        return true;
    }

private:
    QDir dir_;
    QString root_;
    QHash<QString, QString> names_;   // lower case -> the name in the folder
};

#ifdef POROME_HAVE_LIBZIP

class ZipSource : public Source
{
public:
    ZipSource(const QString& path, const RosterLimits& limits, QStringList* problems) : Source(limits)
    {
        int code = 0;
#ifdef Q_OS_WIN
        const QByteArray name = path.toUtf8();
#else
        const QByteArray name = QFile::encodeName(path);
#endif
        zip_ = zip_open(name.constData(), ZIP_RDONLY, &code);
        if (!zip_) {
            zip_error_t e;
            zip_error_init_with_code(&e, code);
            problems->append(QStringLiteral("cannot open the roster as a zip: %1").arg(QString::fromUtf8(zip_error_strerror(&e))));
            zip_error_fini(&e);
            return;
        }
        const zip_int64_t n = zip_get_num_entries(zip_, 0);
        std::map<QString, zip_uint64_t> entries;
        int refused = 0;
        for (zip_int64_t i = 0; i < n; ++i) {
            const char* raw = zip_get_name(zip_, zip_uint64_t(i), 0);
            if (!raw)
                continue;
            QString entry = QString::fromUtf8(raw);
            entry.replace(u'\\', u'/');
            if (entry.endsWith(u'/'))
                continue;
            const QStringList parts = entry.split(u'/');
            if (entry.startsWith(u'/') || (entry.size() > 1 && entry[1] == u':') || parts.contains(QStringLiteral(".."))) {
                if (++refused <= 3)
                    problems->append(QStringLiteral("the zip holds %1, which leads outside the roster; refused")
                                         .arg(entry.left(80)));
                continue;
            }
            entries.emplace(entry.toLower(), zip_uint64_t(i));
        }
        if (refused > 3)
            problems->append(QStringLiteral("the zip holds %1 more entries leading outside the roster; refused").arg(refused - 3));
        // The files stand at the top of the zip, or in its one folder that holds the manifest.
        QString prefix;
        if (!entries.count(QStringLiteral("manifest.csv"))) {
            QStringList folders;
            for (const auto& [entry, index] : entries)
                if (entry.count(u'/') == 1 && entry.endsWith(QStringLiteral("/manifest.csv")))
                    folders << entry.left(entry.size() - 12);
            if (folders.size() == 1)
                prefix = folders.first();
        }
        for (const auto& [entry, index] : entries)
            if (entry.startsWith(prefix) && entry.indexOf(u'/', prefix.size()) < 0)
                index_.insert(entry.mid(prefix.size()), index);
    }
    ~ZipSource() override
    {
        if (zip_)
            zip_discard(zip_);
    }
    bool opened() const { return zip_ != nullptr; }
    bool Has(const QString& name) const override { return index_.contains(name.toLower()); }
    bool Read(const QString& name, QByteArray* bytes, QString* problem) override
    {
        const zip_uint64_t index = index_.value(name.toLower());
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) {
            *problem = QStringLiteral("cannot read %1 in the zip").arg(name);
            return false;
        }
        const qint64 size = st.size > zip_uint64_t(limits_.fileBytes) ? limits_.fileBytes + 1 : qint64(st.size);
        if (size > limits_.ratioFrom && st.comp_size * zip_uint64_t(limits_.ratio) < st.size) {
            *problem = QStringLiteral("%1 would expand %2 times its packed size; refused as a zip bomb")
                           .arg(name)
                           .arg(st.comp_size ? st.size / st.comp_size : st.size);
            return false;
        }
        if (!Fits(name, size, problem))
            return false;
        zip_file_t* f = zip_fopen_index(zip_, index, 0);
        if (!f) {
            *problem = QStringLiteral("cannot read %1 in the zip: %2").arg(name, QString::fromUtf8(zip_strerror(zip_)));
            return false;
        }
        // Never more than the entry says it holds: the size in the zip is what was bounded.
        bytes->resize(size + 1);
        qint64 got = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(f, bytes->data() + got, zip_uint64_t(bytes->size() - got));
            if (n <= 0) {
                if (n < 0)
                    got = -1;
                break;
            }
            got += n;
            if (got == bytes->size())
                break;
        }
        zip_fclose(f);
        if (got != size) {
            bytes->clear();
            *problem = got < 0 || got < size ? QStringLiteral("cannot read %1 in the zip: it is damaged").arg(name)
                                             : QStringLiteral("%1 holds more than its zip entry says; refused").arg(name);
            return false;
        }
        bytes->resize(size);
        return true;
    }

private:
    zip_t* zip_ = nullptr;
    QHash<QString, zip_uint64_t> index_;   // lower-case name in the roster's folder -> entry
};

#endif

// The columns of a file by their names.
struct Header
{
    QHash<QString, int> at;
    int width = 0;
    int operator()(const QString& name) const { return at.value(name, -1); }
};

const QString& Cell(const std::vector<QString>& row, int column)
{
    static const QString none;
    return column >= 0 ? row[size_t(column)] : none;
}

} // namespace

class RosterReader
{
public:
    RosterReader(Roster& r, Source& src, const RosterLimits& limits) : r_(r), src_(src), limits_(limits) {}

    void Run();

private:
    using RowFn = std::function<void(const std::vector<QString>&, const Header&, qsizetype line)>;
    // Reads one file of the roster row by row; false when it is not there or cannot be read.
    bool Table(const QString& file, const QStringList& required, const RowFn& row);
    void Line(const QString& text) { r_.problems_ << text; }
    // A row left out, with its line number; past the file's share of lines, only counted.
    void Row(const QString& file, qsizetype line, const QString& why)
    {
        ++r_.leftOut_;
        if (++rowProblems_ <= limits_.problemsPerFile)
            Line(QStringLiteral("%1 line %2: %3; left out").arg(file).arg(line).arg(why));
    }
    void Sessions();
    void Orgs();
    bool Classes();
    bool Users();
    bool Enrollments();
    void Index(QHash<QString, int>& index, const QString& key, int user)
    {
        if (key.isEmpty())
            return;
        const auto it = index.find(key);
        if (it == index.end())
            index.insert(key, user);
        else if (*it != user)
            *it = -2;
    }

    Roster& r_;
    Source& src_;
    const RosterLimits& limits_;
    QHash<QString, QString> manifest_;   // file.<name> -> bulk, delta or absent
    int rowProblems_ = 0;

    struct Session
    {
        QString type, from, to, parent;
    };
    QHash<QString, Session> sessions_;
    QHash<QString, QString> orgs_;        // sourcedId -> name
    QHash<QString, int> classIndex_;
    QStringList classSchools_;            // per class, its org
};

bool RosterReader::Table(const QString& file, const QStringList& required, const RowFn& row)
{
    const QString base = file.left(file.size() - 4);
    const QString said = manifest_.value(QStringLiteral("file.") + base).toLower();
    if (said == QStringLiteral("absent"))
        return false;
    if (!src_.Has(file)) {
        if (!said.isEmpty())
            Line(QStringLiteral("manifest.csv names %1 (%2) but the roster has no such file").arg(file, said));
        return false;
    }
    QByteArray bytes;
    QString problem;
    if (!src_.Read(file, &bytes, &problem)) {
        Line(problem);
        return false;
    }
    const QString text = QString::fromUtf8(bytes);
    bytes = QByteArray();
    Header h;
    bool header = true, usable = true;
    rowProblems_ = 0;
    int statusAt = -1;
    csv::ParseLines(text, [&](const std::vector<QString>& f, bool broken, qsizetype line) {
        if (!usable)
            return;
        if (header) {
            header = false;
            for (size_t i = 0; i < f.size(); ++i)
                h.at.insert(f[i].trimmed(), int(i));
            h.width = int(f.size());
            for (const QString& c : required)
                if (!h.at.contains(c)) {
                    Line(QStringLiteral("%1 has no column %2; not read").arg(file, c));
                    usable = false;
                }
            statusAt = h(QStringLiteral("status"));
            return;
        }
        if (broken) {
            Row(file, line, QStringLiteral("malformed (a quote out of place)"));
            return;
        }
        if (int(f.size()) != h.width) {
            Row(file, line, QStringLiteral("malformed (%1 fields for %2 columns)").arg(f.size()).arg(h.width));
            return;
        }
        if (Cell(f, statusAt).compare(QStringLiteral("tobedeleted"), Qt::CaseInsensitive) == 0) {
            ++r_.deleted_;
            return;
        }
        row(f, h, line);
    });
    if (header && usable) {
        Line(QStringLiteral("%1 is empty; not read").arg(file));
        usable = false;
    }
    if (rowProblems_ > limits_.problemsPerFile)
        Line(QStringLiteral("%1: %2 more rows left out").arg(file).arg(rowProblems_ - limits_.problemsPerFile));
    return usable;
}

void RosterReader::Sessions()
{
    Table(QStringLiteral("academicSessions.csv"),
          {QStringLiteral("sourcedId"), QStringLiteral("type"), QStringLiteral("startDate"), QStringLiteral("endDate")},
          [&](const std::vector<QString>& f, const Header& h, qsizetype line) {
              const QString& id = Cell(f, h(QStringLiteral("sourcedId")));
              if (id.isEmpty())
                  return Row(QStringLiteral("academicSessions.csv"), line, QStringLiteral("no sourcedId"));
              if (sessions_.contains(id))
                  return Row(QStringLiteral("academicSessions.csv"), line, QStringLiteral("a sourcedId given before"));
              sessions_.insert(id, {Cell(f, h(QStringLiteral("type"))), Cell(f, h(QStringLiteral("startDate"))).left(10),
                                    Cell(f, h(QStringLiteral("endDate"))).left(10),
                                    Cell(f, h(QStringLiteral("parentSourcedId")))});
          });
}

void RosterReader::Orgs()
{
    Table(QStringLiteral("orgs.csv"), {QStringLiteral("sourcedId"), QStringLiteral("name")},
          [&](const std::vector<QString>& f, const Header& h, qsizetype) {
              orgs_.insert(Cell(f, h(QStringLiteral("sourcedId"))), Cell(f, h(QStringLiteral("name"))));
          });
}

bool RosterReader::Classes()
{
    const QString file = QStringLiteral("classes.csv");
    return Table(file, {QStringLiteral("sourcedId"), QStringLiteral("title"), QStringLiteral("classType")},
                 [&](const std::vector<QString>& f, const Header& h, qsizetype line) {
        const QString& id = Cell(f, h(QStringLiteral("sourcedId")));
        if (id.isEmpty())
            return Row(file, line, QStringLiteral("no sourcedId"));
        if (classIndex_.contains(id))
            return Row(file, line, QStringLiteral("a sourcedId given before"));
        Roster::Class c;
        c.sourcedId = id;
        c.title = Cell(f, h(QStringLiteral("title")));
        c.homeroom = Cell(f, h(QStringLiteral("classType"))).compare(QStringLiteral("homeroom"), Qt::CaseInsensitive) == 0;
        // The school year: of its terms, or of the school years above them.
        bool unknownTerm = false;
        for (const QString& term : Cell(f, h(QStringLiteral("termSourcedIds"))).split(u',', Qt::SkipEmptyParts)) {
            auto s = sessions_.constFind(term.trimmed());
            if (s == sessions_.cend()) {
                unknownTerm = true;
                continue;
            }
            if (s->type != QStringLiteral("schoolYear") && sessions_.contains(s->parent)
                && sessions_[s->parent].type == QStringLiteral("schoolYear"))
                s = sessions_.constFind(s->parent);
            if (c.from.isEmpty() || s->from < c.from)
                c.from = s->from;
            if (c.to.isEmpty() || s->to > c.to)
                c.to = s->to;
        }
        if (unknownTerm && !sessions_.isEmpty())
            Line(QStringLiteral("%1 line %2: termSourcedIds names no academic session; its school year is open")
                     .arg(file)
                     .arg(line));
        classIndex_.insert(id, int(r_.classes_.size()));
        classSchools_ << Cell(f, h(QStringLiteral("schoolSourcedId")));
        r_.classes_.push_back(std::move(c));
    });
}

bool RosterReader::Users()
{
    const QString file = QStringLiteral("users.csv");
    const QString blank = QStringLiteral("　");
    const auto both = [&](const QString& family, const QString& given) {
        if (family.isEmpty() || given.isEmpty())
            return family + given;
        return family + blank + given;
    };
    return Table(file, {QStringLiteral("sourcedId"), QStringLiteral("username"), QStringLiteral("givenName"),
                        QStringLiteral("familyName")},
                 [&](const std::vector<QString>& f, const Header& h, qsizetype line) {
        const QString& id = Cell(f, h(QStringLiteral("sourcedId")));
        if (id.isEmpty())
            return Row(file, line, QStringLiteral("no sourcedId"));
        if (r_.bySourcedId_.contains(id))
            return Row(file, line, QStringLiteral("a sourcedId given before"));
        Roster::User u;
        u.sourcedId = id;
        u.username = Cell(f, h(QStringLiteral("username")));
        u.master = Cell(f, h(QStringLiteral("userMasterIdentifier")));
        const QString& pf = Cell(f, h(QStringLiteral("preferredFamilyName")));
        const QString& pg = Cell(f, h(QStringLiteral("preferredGivenName")));
        const bool preferred = !pf.isEmpty() || !pg.isEmpty();
        u.name = preferred ? both(pf, pg)
                           : both(Cell(f, h(QStringLiteral("familyName"))), Cell(f, h(QStringLiteral("givenName"))));
        const QString& pkf = Cell(f, h(QStringLiteral("metadata.jp.preferredKanaFamilyName")));
        const QString& pkg = Cell(f, h(QStringLiteral("metadata.jp.preferredKanaGivenName")));
        u.kana = preferred && (!pkf.isEmpty() || !pkg.isEmpty())
                     ? both(pkf, pkg)
                     : both(Cell(f, h(QStringLiteral("metadata.jp.kanaFamilyName"))),
                            Cell(f, h(QStringLiteral("metadata.jp.kanaGivenName"))));
        const int index = int(r_.users_.size());
        r_.bySourcedId_.insert(id, index);
        Index(r_.byMaster_, u.master, index);
        Index(r_.byUsername_, u.username.toCaseFolded(), index);
        r_.users_.push_back(std::move(u));
    });
}

bool RosterReader::Enrollments()
{
    const QString file = QStringLiteral("enrollments.csv");
    QSet<QString> seen;
    QSet<QPair<int, int>> members;   // class, user
    r_.homerooms_.resize(r_.users_.size());
    const bool read = Table(file, {QStringLiteral("sourcedId"), QStringLiteral("classSourcedId"),
                                   QStringLiteral("userSourcedId"), QStringLiteral("role")},
                            [&](const std::vector<QString>& f, const Header& h, qsizetype line) {
        const QString& id = Cell(f, h(QStringLiteral("sourcedId")));
        if (id.isEmpty())
            return Row(file, line, QStringLiteral("no sourcedId"));
        if (seen.contains(id))
            return Row(file, line, QStringLiteral("a sourcedId given before"));
        const int user = r_.bySourcedId_.value(Cell(f, h(QStringLiteral("userSourcedId"))), -1);
        if (user < 0)
            return Row(file, line, QStringLiteral("userSourcedId names no user of users.csv"));
        const int klass = classIndex_.value(Cell(f, h(QStringLiteral("classSourcedId"))), -1);
        if (klass < 0)
            return Row(file, line, QStringLiteral("classSourcedId names no class of classes.csv"));
        seen.insert(id);
        ++r_.enrollments_;
        Roster::Class& c = r_.classes_[size_t(klass)];
        if (!c.homeroom || Cell(f, h(QStringLiteral("role"))) != QStringLiteral("student"))
            return;
        if (members.contains({klass, user}))
            return;
        members.insert({klass, user});
        int number = 0;
        int at = h(QStringLiteral("metadata.jp.ShussekiNo"));
        if (at < 0 || Cell(f, at).isEmpty())
            at = h(QStringLiteral("metadata.jp.shussekiNo"));
        if (const QString& n = Cell(f, at); !n.isEmpty()) {
            bool ok = false;
            number = n.trimmed().toInt(&ok);
            if (!ok || number < 1) {
                number = 0;
                Line(QStringLiteral("%1 line %2: the 出席番号 is not a number; kept without one").arg(file).arg(line));
            }
        }
        c.pupils.push_back({user, number});
        // Enrolled from its begin to its end date, within the class's school year.
        Roster::Membership m{klass, c.from, c.to};
        const QString begin = Cell(f, h(QStringLiteral("beginDate"))).left(10);
        const QString end = Cell(f, h(QStringLiteral("endDate"))).left(10);
        if (!begin.isEmpty() && (m.from.isEmpty() || begin > m.from))
            m.from = begin;
        if (!end.isEmpty() && (m.to.isEmpty() || end < m.to))
            m.to = end;
        r_.homerooms_[size_t(user)].push_back(m);
    });
    return read;
}

void RosterReader::Run()
{
    if (!src_.Has(QStringLiteral("manifest.csv"))) {
        Line(QStringLiteral("the roster has no manifest.csv; not read"));
        return;
    }
    bool version = false;
    const bool manifest = Table(QStringLiteral("manifest.csv"), {QStringLiteral("propertyName"), QStringLiteral("value")},
                                [&](const std::vector<QString>& f, const Header& h, qsizetype) {
        const QString& name = Cell(f, h(QStringLiteral("propertyName")));
        const QString value = Cell(f, h(QStringLiteral("value"))).trimmed();
        if (name == QStringLiteral("oneroster.version")) {
            version = true;
            if (value != QStringLiteral("1.2") && !value.startsWith(QStringLiteral("1.2_")))
                Line(QStringLiteral("manifest.csv gives oneroster.version %1; read as 1.2").arg(value.left(20)));
        } else if (name.startsWith(QStringLiteral("file."))) {
            manifest_.insert(name, value);
        }
    });
    if (!manifest)
        return;
    if (!version)
        Line(QStringLiteral("manifest.csv gives no oneroster.version; read as 1.2"));
    Sessions();
    Orgs();
    const bool classes = Classes();
    const bool users = Users();
    const bool enrollments = users && classes && Enrollments();
    for (const QString& needed : {QStringLiteral("classes.csv"), QStringLiteral("users.csv"), QStringLiteral("enrollments.csv")}) {
        const QString said = manifest_.value(QStringLiteral("file.") + needed.left(needed.size() - 4)).toLower();
        if (said == QStringLiteral("absent"))
            Line(QStringLiteral("manifest.csv marks %1 absent; the roster is not used").arg(needed));
        else if (!src_.Has(needed) && said.isEmpty())
            Line(QStringLiteral("the roster has no %1").arg(needed));
    }
    r_.usable_ = classes && users && enrollments;

    // A board's roster holds many schools with a 3-1 each: their titles name the school.
    QSet<QString> schools;
    for (const QString& s : classSchools_)
        schools.insert(s);
    if (schools.size() > 1)
        for (size_t i = 0; i < r_.classes_.size(); ++i)
            if (const QString name = orgs_.value(classSchools_[qsizetype(i)]); !name.isEmpty())
                r_.classes_[i].title = name + QStringLiteral(" ") + r_.classes_[i].title;
    QCollator kana(QLocale(QLocale::Japanese));
    kana.setNumericMode(true);
    for (Roster::Class& c : r_.classes_)
        std::stable_sort(c.pupils.begin(), c.pupils.end(), [&](const Roster::Member& a, const Roster::Member& b) {
            if ((a.number == 0) != (b.number == 0))
                return b.number == 0;
            if (a.number != b.number)
                return a.number < b.number;
            return kana.compare(r_.users_[size_t(a.user)].kana, r_.users_[size_t(b.user)].kana) < 0;
        });
    int shared = 0;
    for (int v : std::as_const(r_.byUsername_))
        shared += v == -2;
    if (shared > 0)
        Line(QStringLiteral("users.csv: %1 usernames belong to more than one user; a login is not matched by them")
                 .arg(shared));
}

std::shared_ptr<Roster> Roster::Read(const QString& path, const RosterLimits& limits)
{
    auto r = std::make_shared<Roster>();
    const QFileInfo info(path);
    std::unique_ptr<Source> src;
    if (info.isDir()) {
        src = std::make_unique<FolderSource>(path, limits);
    } else if (!info.isFile()) {
        r->problems_ << QStringLiteral("the roster %1 is neither a zip nor a folder").arg(QDir::toNativeSeparators(path));
        return r;
    } else {
#ifdef POROME_HAVE_LIBZIP
        auto zip = std::make_unique<ZipSource>(path, limits, &r->problems_);
        if (!zip->opened())
            return r;
        src = std::move(zip);
#else
        r->problems_ << QStringLiteral("this build of porome reads no zipped roster: give the folder it unpacks to");
        return r;
#endif
    }
    RosterReader reader(*r, *src, limits);
    reader.Run();
    return r;
}

QString Roster::Account() const
{
    QString line = QStringLiteral("took %1 users, %2 classes and %3 enrollments").arg(users()).arg(classes()).arg(enrollments_);
    if (leftOut_ > 0 || deleted_ > 0)
        line += QStringLiteral("; left out %1 rows with problems and %2 marked tobedeleted").arg(leftOut_).arg(deleted_);
    if (!usable_)
        line += QStringLiteral("; the roster is not used");
    return line;
}

bool Roster::ParseMatch(const QString& text, Match* match)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QStringLiteral("any"))
        *match = Match::Any;
    else if (t == QStringLiteral("sourcedId"))
        *match = Match::SourcedId;
    else if (t == QStringLiteral("userMasterIdentifier"))
        *match = Match::UserMasterIdentifier;
    else if (t == QStringLiteral("username"))
        *match = Match::Username;
    else
        return false;
    return true;
}

Roster::Place Roster::Find(const QString& login, QStringView day) const
{
    Place p;
    if (login.isEmpty())
        return p;
    const auto lookUp = [&](const QHash<QString, int>& index, const QString& key) {
        const int u = index.value(key, -1);
        return u >= 0 ? u : -1;
    };
    if (match_ == Match::Any || match_ == Match::SourcedId)
        p.user = lookUp(bySourcedId_, login);
    if (p.user < 0 && (match_ == Match::Any || match_ == Match::UserMasterIdentifier))
        p.user = lookUp(byMaster_, login);
    if (p.user < 0 && (match_ == Match::Any || match_ == Match::Username))
        p.user = lookUp(byUsername_, login.toCaseFolded());
    if (p.user < 0 || size_t(p.user) >= homerooms_.size())
        return p;
    for (const Membership& m : homerooms_[size_t(p.user)])
        if (day.isEmpty() || ((m.from.isEmpty() || day >= m.from) && (m.to.isEmpty() || day <= m.to))) {
            p.klass = m.klass;
            break;
        }
    return p;
}

QString Roster::DisplayName(int user) const
{
    const User& u = users_.at(size_t(user));
    if (u.name.isEmpty())
        return u.username;
    if (u.kana.isEmpty())
        return u.name;
    return QStringLiteral("%1（%2）").arg(u.name, u.kana);
}

std::shared_ptr<const Roster> LoadRoster(const QString& path, const QString& match)
{
    std::shared_ptr<Roster> r = Roster::Read(path);
    Roster::Match m = Roster::Match::Any;
    if (!Roster::ParseMatch(match, &m))
        r->Note(QStringLiteral("the setting roster-match names no identifier (sourcedId, userMasterIdentifier "
                        "or username); logins are matched by any"));
    r->SetMatch(m);
    for (const QString& line : r->Problems())
        std::fprintf(stderr, "porome: roster: %s\n", qPrintable(line));
    std::fprintf(stderr, "porome: roster: %s\n", qPrintable(r->Account()));
    return r;
}

} // namespace report
