// Jet SQL of saved queries from their MSysQueries rows (see JetQueries.h).
//
// The parts, by the row's Attribute:
//   1 kind (Flag: 1 select, 2 make-table, 3 append, 4 update, 5 delete,
//     6 crosstab, 7 data definition, 8 pass-through, 9 union; Name1 the
//     target table of make-table and append queries; Expression the whole
//     text of data-definition and pass-through queries)
//   2 a parameter (Name1 its name, Flag its data type)
//   3 select flags (Flag: 1 all columns, 2 DISTINCT, 8 DISTINCTROW, 16 TOP,
//     32 PERCENT; Name1 the TOP count)
//   5 a table (Name1 its name, Name2 its alias)
//   6 a column (Expression its value, Name1 its alias or, in append and update
//     queries, the column it goes to)
//   7 a join (Name1 and Name2 the tables, Expression the condition, Flag
//     1 inner, 2 left, 3 right)
//   8 WHERE, 9 GROUP BY, 10 HAVING, 11 ORDER BY (Name1 "D": descending)
#include "tools/jetimport/JetQueries.h"

#include <QStringList>

#include <algorithm>
#include <map>

namespace jetimport {

namespace {

enum Attribute {
    KindPart = 1,
    ParameterPart = 2,
    FlagPart = 3,
    TablePart = 5,
    ColumnPart = 6,
    JoinPart = 7,
    WherePart = 8,
    GroupPart = 9,
    HavingPart = 10,
    OrderPart = 11,
};

QString bracket(const QString& name) {
    if (name.startsWith(u'[') && name.endsWith(u']')) return name;
    return u'[' + name + u']';
}

QString parameterType(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("Bit");
        case 2:
            return QStringLiteral("Byte");
        case 3:
            return QStringLiteral("Short");
        case 4:
            return QStringLiteral("Long");
        case 5:
            return QStringLiteral("Currency");
        case 6:
            return QStringLiteral("IEEESingle");
        case 7:
            return QStringLiteral("IEEEDouble");
        case 8:
            return QStringLiteral("DateTime");
        case 9:
            return QStringLiteral("Binary");
        case 10:
            return QStringLiteral("Text");
        case 11:
            return QStringLiteral("LongBinary");
        case 12:
            return QStringLiteral("Memo");
        case 15:
            return QStringLiteral("Guid");
        case 20:
            return QStringLiteral("Decimal");
        default:
            return QStringLiteral("Value");
    }
}

JetQuery::Kind kindFromRow(int flag) {
    switch (flag) {
        case 1:
            return JetQuery::Kind::Select;
        case 2:
            return JetQuery::Kind::MakeTable;
        case 3:
            return JetQuery::Kind::Append;
        case 4:
            return JetQuery::Kind::Update;
        case 5:
            return JetQuery::Kind::Delete;
        case 6:
            return JetQuery::Kind::Crosstab;
        case 7:
            return JetQuery::Kind::DataDefinition;
        case 8:
            return JetQuery::Kind::PassThrough;
        case 9:
            return JetQuery::Kind::Union;
        default:
            return JetQuery::Kind::Unknown;
    }
}

JetQuery::Kind kindFromObjectFlags(int32_t flags) {
    switch (flags & 0xf0) {
        case 0:
            return JetQuery::Kind::Select;
        case 16:
            return JetQuery::Kind::Crosstab;
        case 32:
            return JetQuery::Kind::Delete;
        case 48:
            return JetQuery::Kind::Update;
        case 64:
            return JetQuery::Kind::Append;
        case 80:
            return JetQuery::Kind::MakeTable;
        case 96:
            return JetQuery::Kind::DataDefinition;
        case 112:
            return JetQuery::Kind::PassThrough;
        case 128:
            return JetQuery::Kind::Union;
        default:
            return JetQuery::Kind::Unknown;
    }
}

// The FROM clause: the tables, with the joins between them nested in order
// ("(A INNER JOIN B ON ...) LEFT JOIN C ON ..."). Rows of one join (a join on
// several columns) are joined by AND.
QString fromClause(const std::vector<const QueryRow*>& tables,
                   const std::vector<const QueryRow*>& joinRows) {
    struct Group {
        QStringList members;  // aliases or names
        QString text;
        bool joined = false;
    };
    std::vector<Group> groups;
    for (const QueryRow* t : tables) {
        const QString key = t->name2.isEmpty() ? t->name1 : t->name2;
        QString text = bracket(t->name1);
        if (!t->name2.isEmpty()) text += QStringLiteral(" AS ") + bracket(t->name2);
        groups.push_back({{key}, text, false});
    }
    struct Join {
        QString left, right, condition;
        int flag;
    };
    std::vector<Join> joins;
    for (const QueryRow* j : joinRows) {
        auto same = std::find_if(joins.begin(), joins.end(), [&](const Join& x) {
            return x.left == j->name1 && x.right == j->name2 && x.flag == j->flag;
        });
        if (same != joins.end())
            same->condition += QStringLiteral(" AND ") + j->expression;
        else
            joins.push_back({j->name1, j->name2, j->expression, j->flag});
    }
    auto groupOf = [&](const QString& key) {
        for (size_t i = 0; i < groups.size(); ++i)
            if (groups[i].members.contains(key)) return int(i);
        groups.push_back({{key}, bracket(key), false});
        return int(groups.size() - 1);
    };
    for (const Join& j : joins) {
        const int a = groupOf(j.left);
        const int b = groupOf(j.right);
        if (a == b) continue;  // already joined: its condition is the earlier one's
        const QString kind = j.flag == 2   ? QStringLiteral("LEFT JOIN")
                             : j.flag == 3 ? QStringLiteral("RIGHT JOIN")
                                           : QStringLiteral("INNER JOIN");
        auto operand = [](const Group& g) { return g.joined ? u'(' + g.text + u')' : g.text; };
        Group merged;
        merged.members = groups[size_t(a)].members + groups[size_t(b)].members;
        merged.text = operand(groups[size_t(a)]) + u' ' + kind + u' ' + operand(groups[size_t(b)]) +
                      QStringLiteral(" ON ") + j.condition;
        merged.joined = true;
        const int keep = std::min(a, b), drop = std::max(a, b);
        groups[size_t(keep)] = merged;
        groups.erase(groups.begin() + drop);
    }
    QStringList parts;
    for (const Group& g : groups) parts << g.text;
    return parts.join(QStringLiteral(", "));
}

}  // namespace

QString queryKindText(JetQuery::Kind kind) {
    switch (kind) {
        case JetQuery::Kind::Select:
            return QStringLiteral("select");
        case JetQuery::Kind::Crosstab:
            return QStringLiteral("crosstab");
        case JetQuery::Kind::MakeTable:
            return QStringLiteral("make-table");
        case JetQuery::Kind::Append:
            return QStringLiteral("append");
        case JetQuery::Kind::Update:
            return QStringLiteral("update");
        case JetQuery::Kind::Delete:
            return QStringLiteral("delete");
        case JetQuery::Kind::DataDefinition:
            return QStringLiteral("data-definition");
        case JetQuery::Kind::PassThrough:
            return QStringLiteral("pass-through");
        case JetQuery::Kind::Union:
            return QStringLiteral("union");
        case JetQuery::Kind::Unknown:
            break;
    }
    return QStringLiteral("unknown");
}

JetQuery buildQuery(const QString& name, int32_t objectFlags, std::vector<QueryRow> rows) {
    JetQuery q;
    q.name = name;
    q.kind = kindFromObjectFlags(objectFlags);
    std::stable_sort(rows.begin(), rows.end(), [](const QueryRow& a, const QueryRow& b) {
        return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
    });
    std::map<int, std::vector<const QueryRow*>> parts;
    for (const QueryRow& r : rows) parts[r.attribute].push_back(&r);
    if (rows.empty()) {
        q.problem = QStringLiteral("its definition is missing");
        return q;
    }
    const QueryRow* kindRow = parts[KindPart].empty() ? nullptr : parts[KindPart].front();
    if (kindRow && kindFromRow(kindRow->flag) != JetQuery::Kind::Unknown)
        q.kind = kindFromRow(kindRow->flag);

    for (const QueryRow* p : parts[ParameterPart])
        q.parameters << bracket(p->name1) + u' ' + parameterType(p->flag);

    if (q.kind == JetQuery::Kind::DataDefinition || q.kind == JetQuery::Kind::PassThrough) {
        q.sql = kindRow ? kindRow->expression : QString();
        if (q.sql.isEmpty()) q.problem = QStringLiteral("its text is missing");
        return q;
    }
    if (q.kind == JetQuery::Kind::Union) {
        QStringList selects;
        for (const QueryRow* t : parts[TablePart])
            if (!t->expression.isEmpty()) selects << t->expression;
        const bool all = !parts[FlagPart].empty() && (parts[FlagPart].front()->flag & 0x80);
        q.sql = selects.join(all ? QStringLiteral(" UNION ALL ") : QStringLiteral(" UNION "));
        if (q.sql.isEmpty()) q.problem = QStringLiteral("its parts are missing");
        return q;
    }
    if (parts[TablePart].empty() && q.kind != JetQuery::Kind::Unknown) {
        q.problem = QStringLiteral("it names no table");
        return q;
    }

    const int flags = parts[FlagPart].empty() ? 0 : parts[FlagPart].front()->flag;
    QString predicate;
    if (flags & 0x30) {
        predicate = QStringLiteral("TOP ") + parts[FlagPart].front()->name1 +
                    ((flags & 0x20) ? QStringLiteral(" PERCENT ") : QStringLiteral(" "));
    }
    if (flags & 0x08)
        predicate = QStringLiteral("DISTINCTROW ") + predicate;
    else if (flags & 0x02)
        predicate = QStringLiteral("DISTINCT ") + predicate;

    QStringList columns, targets, values;
    for (const QueryRow* c : parts[ColumnPart]) {
        columns << (c->name1.isEmpty()
                        ? c->expression
                        : c->expression + QStringLiteral(" AS ") + bracket(c->name1));
        targets << (c->name1.isEmpty() ? c->expression : bracket(c->name1));
        values << c->expression;
    }
    if ((flags & 0x01) || columns.isEmpty()) columns.prepend(QStringLiteral("*"));

    const QString from = fromClause(parts[TablePart], parts[JoinPart]);
    auto clause = [&](int attribute, const QString& keyword) {
        QStringList items;
        for (const QueryRow* r : parts[attribute]) {
            QString item = r->expression;
            if (attribute == OrderPart && r->name1.compare(u"D", Qt::CaseInsensitive) == 0)
                item += QStringLiteral(" DESC");
            items << item;
        }
        return items.isEmpty() ? QString()
                               : u' ' + keyword + u' ' + items.join(QStringLiteral(", "));
    };
    const QString where = clause(WherePart, QStringLiteral("WHERE"));
    const QString tail = clause(GroupPart, QStringLiteral("GROUP BY")) +
                         clause(HavingPart, QStringLiteral("HAVING")) +
                         clause(OrderPart, QStringLiteral("ORDER BY"));
    const QString target = kindRow ? kindRow->name1 : QString();

    switch (q.kind) {
        case JetQuery::Kind::Select:
        case JetQuery::Kind::Crosstab:
        case JetQuery::Kind::Unknown:
            q.sql = QStringLiteral("SELECT ") + predicate + columns.join(QStringLiteral(", ")) +
                    QStringLiteral(" FROM ") + from + where + tail;
            break;
        case JetQuery::Kind::MakeTable:
            q.sql = QStringLiteral("SELECT ") + predicate + columns.join(QStringLiteral(", ")) +
                    QStringLiteral(" INTO ") + bracket(target) + QStringLiteral(" FROM ") + from +
                    where + tail;
            break;
        case JetQuery::Kind::Append: {
            QStringList into;
            for (const QueryRow* c : parts[ColumnPart])
                if (!c->name1.isEmpty()) into << bracket(c->name1);
            q.sql = QStringLiteral("INSERT INTO ") + bracket(target) +
                    (into.size() == values.size() && !into.isEmpty()
                         ? QStringLiteral(" (") + into.join(QStringLiteral(", ")) + u')'
                         : QString()) +
                    QStringLiteral(" SELECT ") + predicate + values.join(QStringLiteral(", ")) +
                    QStringLiteral(" FROM ") + from + where + tail;
            break;
        }
        case JetQuery::Kind::Update: {
            QStringList sets;
            for (const QueryRow* c : parts[ColumnPart])
                sets << bracket(c->name1) + QStringLiteral(" = ") + c->expression;
            q.sql = QStringLiteral("UPDATE ") + from + QStringLiteral(" SET ") +
                    sets.join(QStringLiteral(", ")) + where;
            break;
        }
        case JetQuery::Kind::Delete:
            q.sql = QStringLiteral("DELETE ") +
                    (parts[ColumnPart].empty() ? QStringLiteral("*")
                                               : targets.join(QStringLiteral(", "))) +
                    QStringLiteral(" FROM ") + from + where;
            break;
        default:
            break;
    }
    if (!q.parameters.isEmpty())
        q.sql = QStringLiteral("PARAMETERS ") + q.parameters.join(QStringLiteral(", ")) +
                QStringLiteral("; ") + q.sql;
    return q;
}

}  // namespace jetimport
