// Library-internal mechanics shared by the routines of every subsystem:
// the standard error handler, the occupancy routines' own failure path, and
// opening a recordset with the options all library queries use.
#pragma once

#include "lib/clsProd.h"
#include "platform/runtime/Error.h"

#include <exception>
#include <memory>
#include <utility>

struct clsProdAccess {
    // Turns a failure a routine threw into the error it stands for. Only
    // std::exception types are failures; anything else (a test's program end)
    // passes through every handler.
    static rt::Error toError(std::exception_ptr e);

    // The standard error handler: runs `body`; when any step fails, the rest is
    // skipped, the description is shown titled "NARVO" with the critical icon,
    // and er_hnd writes "<description> <number> : From ClsProd" with the
    // current date and time. The routine's result keeps the value it held.
    template <class Body>
    static void standard(clsProd& self, Body&& body) {
        try {
            std::forward<Body>(body)();
        } catch (const rt::Error& e) {
            standardFailure(self, e);
        } catch (const std::exception&) {
            standardFailure(self, toError(std::current_exception()));
        }
    }
    static void standardFailure(clsProd& self, const rt::Error& e);

    // The occupancy routines' own path: the description under the
    // application's own title, critical icon, no trail.
    template <class Body>
    static void ownTitle(clsProd& self, Body&& body) {
        try {
            std::forward<Body>(body)();
        } catch (const std::exception&) {
            rt::Error e = toError(std::current_exception());
            self.messageBox().show(e.description(), self.appTitle(), ui::Icon::Critical);
        }
    }

    // Opens dbconnection on a database file of the DataBase folder, or shows
    // the caution and ends the program.
    static void openDatabase(clsProd& self, const QString& file, const QString& caution);

    // Runs `query` on a recordset of its own under the standard handler and
    // hands it to `onOpen` (which reads the first row, if any); closes it.
    template <class OnOpen>
    static void firstRow(clsProd& self, const QString& query, OnOpen&& onOpen) {
        standard(self, [&] {
            auto rs = open(self, query, 1);
            onOpen(*rs);
            rs->Close();
        });
    }

    // REQUIRES nothing: fails with 91 when dbconnection holds no object.
    static db::Connection& connection(clsProd& self);
    // A new recordset opened on `source` over dbconnection with a dynamic
    // cursor, optimistic locking and options unspecified; `maxRecords` rows at
    // most are read (0: all).
    static std::unique_ptr<db::Recordset> open(clsProd& self, const QString& source,
                                               int64_t maxRecords = 0);
};

// The title of the standard handler's and the confirmation's message boxes.
inline const QString kNarvo = QStringLiteral("NARVO");
