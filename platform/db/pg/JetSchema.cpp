// The jet schema: its installation script, install/upgrade and the check
// at connect; Jet's LIKE pattern as a regular expression on the client.
#include "platform/db/pg/JetSchema.h"

#include "platform/db/pg/JetWrites.h"
#include "platform/db/pg/Session.h"
#include "platform/runtime/Error.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace db::pg {

namespace {

// Serialises installers of one database (any constant both sides agree on).
constexpr const char* kInstallLock = "SELECT pg_advisory_xact_lock(7394012201)";

// Version 1: everything. A later version appends a step that brings version
// N-1 to N (CREATE OR REPLACE, or DROP and CREATE where a signature changes).
const char* const kVersion1 = R"jetsql(
CREATE SCHEMA IF NOT EXISTS jet;
COMMENT ON SCHEMA jet IS 'Jet meaning for the NARVO database layer: collations, domains, functions';
CREATE COLLATION IF NOT EXISTS jet.ci (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
CREATE COLLATION IF NOT EXISTS jet.cs (provider = icu, locale = 'und', deterministic = true);
DO $do$
BEGIN
  IF to_regtype('jet.yesno') IS NULL THEN
    CREATE DOMAIN jet.yesno AS smallint CHECK (VALUE IN (-1, 0));
  END IF;
  IF to_regtype('jet.byte') IS NULL THEN
    CREATE DOMAIN jet.byte AS smallint CHECK (VALUE BETWEEN 0 AND 255);
  END IF;
  IF to_regtype('jet.currency') IS NULL THEN
    CREATE DOMAIN jet.currency AS numeric(19,4);
  END IF;
END
$do$;

-- ---- settings and failures ----

CREATE OR REPLACE FUNCTION jet.setting(name text, fallback text) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT coalesce(nullif(current_setting('jet.' || name, true), ''), fallback) $$;

-- Failures with the run-time's numbers in the SQLSTATE (NJ + number).
CREATE OR REPLACE FUNCTION jet.raise(code integer) RETURNS void
LANGUAGE plpgsql VOLATILE PARALLEL SAFE AS
$$
BEGIN
  RAISE EXCEPTION USING ERRCODE = 'NJ' || lpad(code::text, 3, '0'), MESSAGE = CASE code
    WHEN 5 THEN 'Invalid procedure call or argument'
    WHEN 6 THEN 'Overflow'
    WHEN 11 THEN 'Division by zero'
    WHEN 13 THEN 'Type mismatch'
    WHEN 14 THEN 'Out of string space'
    WHEN 94 THEN 'Invalid use of Null'
    ELSE 'Application-defined or object-defined error' END;
END
$$;

-- ---- numbers ----

-- A whole number as the run-time's CLng takes it: halves to even.
CREATE OR REPLACE FUNCTION jet.whole(n double precision) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF n IS NULL THEN PERFORM jet.raise(94); END IF;
  IF n <> n OR abs(n) > 9.0e15 THEN PERFORM jet.raise(6); END IF;
  RETURN round(n)::bigint;  -- round(double precision) rounds halves to even
END
$$;

-- A length or count argument: whole, not Null, not negative.
CREATE OR REPLACE FUNCTION jet.count_arg(n double precision) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.whole(n);
BEGIN
  IF k < 0 THEN PERFORM jet.raise(5); END IF;
  RETURN k;
END
$$;

-- A text as a number: the regional decimal separator, True and False.
CREATE OR REPLACE FUNCTION jet.number(t text) RETURNS double precision
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE s text;
BEGIN
  IF t IS NULL THEN RETURN NULL; END IF;
  s := btrim(t COLLATE "C", E' \t\n\r');
  IF lower(s) = 'true' THEN RETURN -1; END IF;
  IF lower(s) = 'false' THEN RETURN 0; END IF;
  IF jet.setting('decimal', '.') <> '.' THEN
    IF position('.' IN s) > 0 THEN PERFORM jet.raise(13); END IF;
    s := replace(s, jet.setting('decimal', '.'), '.');
  END IF;
  IF s !~ '^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$' THEN PERFORM jet.raise(13); END IF;
  RETURN s::double precision;
END
$$;

-- Days since 1899-12-30 with the time as the fraction of a day (a date
-- before it keeps a positive time part: -1.25 is 1899-12-29 06:00).
CREATE OR REPLACE FUNCTION jet.serial(d timestamp) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$
SELECT (d::date - date '1899-12-30')::double precision
       + sign((d::date - date '1899-12-30')::double precision + 0.5)
         * extract(epoch FROM d::time)::double precision / 86400.0
$$;

CREATE OR REPLACE FUNCTION jet.from_serial(v double precision) RETURNS timestamp
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE days double precision; ms bigint; r timestamp;
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v <> v OR abs(v) > 3.0e6 THEN PERFORM jet.raise(6); END IF;
  days := trunc(v);
  ms := round(abs(v - days) * 86400000.0)::bigint;
  r := date '1899-12-30' + days::integer + make_interval(secs => ms / 1000.0);
  IF extract(year FROM r) < 100 OR extract(year FROM r) > 9999 THEN PERFORM jet.raise(6); END IF;
  RETURN r;
END
$$;

-- ---- text forms ----

-- Jet's general number text: 15 significant digits, exponent form past them.
CREATE OR REPLACE FUNCTION jet.general(v double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE n numeric; e integer; m numeric;
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v = 'Infinity' THEN RETURN 'Infinity'; END IF;
  IF v = '-Infinity' THEN RETURN '-Infinity'; END IF;
  IF v <> v THEN RETURN 'NaN'; END IF;
  IF v = 0 THEN RETURN '0'; END IF;
  n := v::numeric;  -- the value rounded to 15 significant digits
  -- The decimal exponent, counted on the digits (log() rounds 999999999999999 up).
  IF abs(n) >= 1 THEN
    e := length(trunc(abs(n))::text) - 1;
  ELSE
    e := -(length(substring(abs(n)::text FROM '^0\.(0*)')) + 1);
  END IF;
  IF e >= 15 OR e < -5 THEN
    m := trim_scale(round(n / power(10::numeric, e), 14));
    IF abs(m) >= 10 THEN m := m / 10; e := e + 1; END IF;
    RETURN trim_scale(m)::text || 'E' || CASE WHEN e < 0 THEN '-' ELSE '+' END
           || lpad(abs(e)::text, 2, '0');
  END IF;
  RETURN trim_scale(n)::text;
END
$$;

CREATE OR REPLACE FUNCTION jet.text(v text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.text(v smallint) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v::text $$;
CREATE OR REPLACE FUNCTION jet.text(v integer) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v::text $$;
CREATE OR REPLACE FUNCTION jet.text(v bigint) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v::text $$;
CREATE OR REPLACE FUNCTION jet.text(v double precision) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT replace(jet.general(v), '.', jet.setting('decimal', '.')) $$;
CREATE OR REPLACE FUNCTION jet.text(v real) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT replace(trim_scale(v::numeric)::text, '.', jet.setting('decimal', '.')) $$;
CREATE OR REPLACE FUNCTION jet.text(v numeric) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT replace(trim_scale(v)::text, '.', jet.setting('decimal', '.')) $$;
-- The general date: the date alone at midnight, the time alone on the zero date.
CREATE OR REPLACE FUNCTION jet.text(v timestamp) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS
$$
SELECT CASE
  WHEN v::time = time '00:00' THEN to_char(v, jet.setting('short_date', 'YYYY-MM-DD'))
  WHEN v::date = date '1899-12-30' THEN to_char(v, jet.setting('long_time', 'HH24:MI:SS'))
  ELSE to_char(v, jet.setting('short_date', 'YYYY-MM-DD')) || ' '
       || to_char(v, jet.setting('long_time', 'HH24:MI:SS')) END
$$;

-- A value as a number for the conversion and arithmetic functions.
CREATE OR REPLACE FUNCTION jet.num(v double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.num(v text) RETURNS double precision
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.number(v) $$;
CREATE OR REPLACE FUNCTION jet.num(v timestamp) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.serial(v) $$;

-- A value as a date: dates, day numbers, and texts the session reads as dates
-- (ISO, the regional order, a time alone on the zero date).
CREATE OR REPLACE FUNCTION jet.dt(v timestamp) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.dt(v double precision) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.from_serial(v) $$;
CREATE OR REPLACE FUNCTION jet.dt(v text) RETURNS timestamp
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE s text := btrim(v COLLATE "C");
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF s ~ '^[0-9]{1,2}:[0-9]{2}(:[0-9]{2}(\.[0-9]+)?)?( ?[AaPp][Mm])?$' THEN
    s := '1899-12-30 ' || s;
  END IF;
  BEGIN
    RETURN s::timestamp(3);
  EXCEPTION WHEN others THEN
    NULL;
  END;
  BEGIN
    RETURN jet.from_serial(jet.number(s));
  EXCEPTION WHEN others THEN
    PERFORM jet.raise(13);
  END;
  RETURN NULL;
END
$$;

-- ---- text functions ----

CREATE OR REPLACE FUNCTION jet.left(s text, n double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN RETURN left(s, least(jet.count_arg(n), 1073741823)::integer); END $$;

CREATE OR REPLACE FUNCTION jet.right(s text, n double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN RETURN right(s, least(jet.count_arg(n), 1073741823)::integer); END $$;

CREATE OR REPLACE FUNCTION jet.mid(s text, start double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE b bigint;
BEGIN
  IF start IS NULL THEN PERFORM jet.raise(94); END IF;
  b := jet.whole(start);
  IF b < 1 THEN PERFORM jet.raise(5); END IF;
  IF s IS NULL THEN RETURN NULL; END IF;
  IF b > length(s) THEN RETURN ''; END IF;
  RETURN substr(s, b::integer);
END
$$;
CREATE OR REPLACE FUNCTION jet.mid(s text, start double precision, len double precision)
RETURNS text LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE b bigint; k bigint;
BEGIN
  IF start IS NULL THEN PERFORM jet.raise(94); END IF;
  b := jet.whole(start);
  IF b < 1 THEN PERFORM jet.raise(5); END IF;
  k := jet.count_arg(len);
  IF s IS NULL THEN RETURN NULL; END IF;
  IF b > length(s) THEN RETURN ''; END IF;
  RETURN substr(s, b::integer, least(k, 1073741823)::integer);
END
$$;

CREATE OR REPLACE FUNCTION jet.len(s text) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT length(s) $$;

-- InStr([start,] s1, s2 [, compare]): text comparison unless compare is 0.
CREATE OR REPLACE FUNCTION jet.instr(start double precision, s1 text, s2 text,
                                     compare double precision DEFAULT 1)
RETURNS integer LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE b bigint; c bigint; a text; f text; p integer;
BEGIN
  b := jet.whole(start);
  IF b < 1 THEN PERFORM jet.raise(5); END IF;
  c := jet.whole(compare);
  IF c NOT IN (0, 1, 2) THEN PERFORM jet.raise(5); END IF;
  IF s1 IS NULL OR s2 IS NULL THEN RETURN NULL; END IF;
  IF b > length(s1) THEN RETURN 0; END IF;
  IF length(s2) = 0 THEN RETURN b; END IF;
  a := substr(s1, b::integer);
  f := s2;
  IF c <> 0 THEN
    a := lower(a COLLATE jet.cs);
    f := lower(f COLLATE jet.cs);
  END IF;
  p := strpos(a COLLATE "C", f COLLATE "C");
  IF p = 0 THEN RETURN 0; END IF;
  RETURN p + b - 1;
END
$$;
CREATE OR REPLACE FUNCTION jet.instr(s1 text, s2 text) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.instr(1, s1, s2, 1) $$;

CREATE OR REPLACE FUNCTION jet.trim(s text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT btrim(s, ' ') $$;
CREATE OR REPLACE FUNCTION jet.ltrim(s text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT ltrim(s, ' ') $$;
CREATE OR REPLACE FUNCTION jet.rtrim(s text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT rtrim(s, ' ') $$;
CREATE OR REPLACE FUNCTION jet.ucase(s text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT upper(s COLLATE jet.cs) $$;
CREATE OR REPLACE FUNCTION jet.lcase(s text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT lower(s COLLATE jet.cs) $$;

CREATE OR REPLACE FUNCTION jet.space(n double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.count_arg(n);
BEGIN
  IF k > 100000000 THEN PERFORM jet.raise(14); END IF;
  RETURN repeat(' ', k::integer);
END
$$;

-- Str: the general number with '.', a leading blank for a number not negative.
CREATE OR REPLACE FUNCTION jet.str(v double precision) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN v >= 0 THEN ' ' ELSE '' END || jet.general(v) $$;

CREATE OR REPLACE FUNCTION jet.cstr(v text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN IF v IS NULL THEN PERFORM jet.raise(94); END IF; RETURN v; END $$;

-- Val: the leading number of a text (blanks, tabs and line feeds skipped
-- wherever they stand; &H and &O whole numbers).
CREATE OR REPLACE FUNCTION jet.val(t text) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE
  s text; i integer := 1; n integer; c text; buf text := ''; e text := '';
  point boolean := false; any_digit boolean := false; radix integer; v bigint := 0;
  d integer; digits integer := 0; j integer; exp_digits boolean := false;
BEGIN
  IF t IS NULL THEN PERFORM jet.raise(94); END IF;
  s := t COLLATE "C";
  n := length(s);
  WHILE i <= n AND substr(s, i, 1) IN (' ', E'\t', E'\n') LOOP i := i + 1; END LOOP;
  IF i + 1 <= n AND substr(s, i, 1) = '&' AND upper(substr(s, i + 1, 1)) IN ('H', 'O') THEN
    radix := CASE upper(substr(s, i + 1, 1)) WHEN 'H' THEN 16 ELSE 8 END;
    i := i + 2;
    WHILE i <= n LOOP
      c := substr(s, i, 1);
      i := i + 1;
      CONTINUE WHEN c IN (' ', E'\t', E'\n');
      d := position(upper(c) IN '0123456789ABCDEF') - 1;
      EXIT WHEN d < 0 OR d >= radix;
      v := v * radix + d;
      IF v > 4294967295 THEN v := v & 4294967295; END IF;
      digits := digits + 1;
    END LOOP;
    IF v <= 65535 AND ((radix = 16 AND digits <= 4) OR (radix = 8 AND digits <= 6)) THEN
      RETURN CASE WHEN v >= 32768 THEN v - 65536 ELSE v END;
    END IF;
    RETURN CASE WHEN v >= 2147483648 THEN v - 4294967296 ELSE v END;
  END IF;
  IF i <= n AND substr(s, i, 1) IN ('+', '-') THEN
    IF substr(s, i, 1) = '-' THEN buf := '-'; END IF;
    i := i + 1;
  END IF;
  WHILE i <= n LOOP
    c := substr(s, i, 1);
    IF c IN (' ', E'\t', E'\n') THEN i := i + 1; CONTINUE; END IF;
    IF c BETWEEN '0' AND '9' THEN buf := buf || c; any_digit := true;
    ELSIF c = '.' AND NOT point THEN buf := buf || '.'; point := true;
    ELSE EXIT;
    END IF;
    i := i + 1;
  END LOOP;
  IF NOT any_digit THEN RETURN 0; END IF;
  IF i <= n AND upper(substr(s, i, 1)) IN ('E', 'D') THEN
    j := i + 1;
    WHILE j <= n AND substr(s, j, 1) IN (' ', E'\t', E'\n') LOOP j := j + 1; END LOOP;
    e := 'e';
    IF j <= n AND substr(s, j, 1) IN ('+', '-') THEN e := e || substr(s, j, 1); j := j + 1; END IF;
    WHILE j <= n LOOP
      c := substr(s, j, 1);
      IF c IN (' ', E'\t', E'\n') THEN j := j + 1; CONTINUE; END IF;
      EXIT WHEN NOT (c BETWEEN '0' AND '9');
      e := e || c;
      exp_digits := true;
      j := j + 1;
    END LOOP;
    IF exp_digits THEN buf := buf || e; END IF;
  END IF;
  IF buf IN ('.', '-.') THEN RETURN 0; END IF;
  IF right(buf, 1) = '.' THEN buf := buf || '0'; END IF;
  IF left(buf, 1) = '.' THEN buf := '0' || buf; END IF;
  IF left(buf, 2) = '-.' THEN buf := '-0' || substr(buf, 2); END IF;
  -- Beyond the range of a double: infinite, or zero, as strtod reads it.
  IF exp_digits AND abs(substr(e, 2)::numeric) > 1000 THEN
    IF substr(e, 2, 1) = '-' OR buf::numeric = 0 THEN RETURN 0; END IF;
    RETURN CASE WHEN buf LIKE '-%' THEN '-Infinity' ELSE 'Infinity' END::double precision;
  END IF;
  IF abs(buf::numeric) > 1.7976931348623157e308 THEN
    RETURN CASE WHEN buf LIKE '-%' THEN '-Infinity' ELSE 'Infinity' END::double precision;
  END IF;
  IF buf::numeric <> 0 AND abs(buf::numeric) < 2.2250738585072014e-308 THEN RETURN 0; END IF;
  RETURN buf::double precision;
END
$$;
CREATE OR REPLACE FUNCTION jet.val(v double precision) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN IF v IS NULL THEN PERFORM jet.raise(94); END IF; RETURN v; END $$;

-- ---- conversions (arguments through jet.num) ----

CREATE OR REPLACE FUNCTION jet.clng(v double precision) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.whole(v);
BEGIN
  IF k < -2147483648 OR k > 2147483647 THEN PERFORM jet.raise(6); END IF;
  RETURN k;
END
$$;
CREATE OR REPLACE FUNCTION jet.cint(v double precision) RETURNS smallint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.whole(v);
BEGIN
  IF k < -32768 OR k > 32767 THEN PERFORM jet.raise(6); END IF;
  RETURN k;
END
$$;
CREATE OR REPLACE FUNCTION jet.cbyte(v double precision) RETURNS smallint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.whole(v);
BEGIN
  IF k < 0 OR k > 255 THEN PERFORM jet.raise(6); END IF;
  RETURN k;
END
$$;
CREATE OR REPLACE FUNCTION jet.cdbl(v double precision) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN IF v IS NULL THEN PERFORM jet.raise(94); END IF; RETURN v; END $$;
CREATE OR REPLACE FUNCTION jet.csng(v double precision) RETURNS real
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF v IS NULL THEN PERFORM jet.raise(94); END IF;
  IF v = v AND abs(v) <> 'Infinity' AND abs(v) > 3.4028234663852886e38 THEN PERFORM jet.raise(6); END IF;
  RETURN v::real;
END
$$;
-- CCur: four decimals, halves to even (from the 15-digit value, as the file engine).
CREATE OR REPLACE FUNCTION jet.ccur(v double precision) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF v IS NULL THEN PERFORM jet.raise(94); END IF;
  IF v <> v OR abs(v) > 922337203685477.0 THEN PERFORM jet.raise(6); END IF;
  RETURN (round((v::numeric * 10000)::double precision)::numeric / 10000)::numeric(19,4);
END
$$;
CREATE OR REPLACE FUNCTION jet.cbool(v double precision) RETURNS smallint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF v IS NULL THEN PERFORM jet.raise(94); END IF;
  RETURN CASE WHEN v <> 0 THEN -1 ELSE 0 END;
END
$$;
CREATE OR REPLACE FUNCTION jet.cdate(v timestamp) RETURNS timestamp
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN IF v IS NULL THEN PERFORM jet.raise(94); END IF; RETURN v; END $$;

-- ---- numbers ----

CREATE OR REPLACE FUNCTION jet.int(v double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT floor(v) $$;
CREATE OR REPLACE FUNCTION jet.int(v numeric) RETURNS numeric
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT floor(v) $$;
CREATE OR REPLACE FUNCTION jet.int(v integer) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.int(v smallint) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.int(v bigint) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.int(v text) RETURNS double precision
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT floor(jet.number(v)) $$;
CREATE OR REPLACE FUNCTION jet.fix(v double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT trunc(v) $$;
CREATE OR REPLACE FUNCTION jet.fix(v numeric) RETURNS numeric
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT trunc(v) $$;
CREATE OR REPLACE FUNCTION jet.fix(v integer) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.fix(v smallint) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.fix(v bigint) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;
CREATE OR REPLACE FUNCTION jet.fix(v text) RETURNS double precision
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT trunc(jet.number(v)) $$;
CREATE OR REPLACE FUNCTION jet.abs(v text) RETURNS double precision
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT abs(jet.number(v)) $$;
CREATE OR REPLACE FUNCTION jet.abs(v double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT abs(v) $$;
CREATE OR REPLACE FUNCTION jet.abs(v numeric) RETURNS numeric
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT abs(v) $$;
CREATE OR REPLACE FUNCTION jet.abs(v integer) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT abs(v::bigint) $$;
CREATE OR REPLACE FUNCTION jet.abs(v smallint) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT abs(v::integer) $$;
CREATE OR REPLACE FUNCTION jet.sgn(v double precision) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT sign(v)::smallint $$;
CREATE OR REPLACE FUNCTION jet.sgn(v text) RETURNS smallint
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT sign(jet.number(v))::smallint $$;
CREATE OR REPLACE FUNCTION jet.sqr(v double precision) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$ BEGIN IF v < 0 THEN PERFORM jet.raise(5); END IF; RETURN sqrt(v); END $$;

-- Round(x [, places]): halves to even, from the 15-digit value of x.
CREATE OR REPLACE FUNCTION jet.round(v double precision, places double precision DEFAULT 0)
RETURNS double precision LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE p bigint; scale double precision;
BEGIN
  IF places IS NULL THEN PERFORM jet.raise(94); END IF;
  p := jet.whole(places);
  IF p < 0 THEN PERFORM jet.raise(5); END IF;
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v <> v OR abs(v) = 'Infinity' THEN RETURN v; END IF;
  IF p = 0 THEN RETURN round(v); END IF;
  p := least(p, 22);
  scale := power(10::double precision, p);
  RETURN round((v::numeric)::double precision * scale) / scale;
END
$$;
CREATE OR REPLACE FUNCTION jet.round(v numeric, places double precision DEFAULT 0)
RETURNS numeric LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE p integer; t numeric; r numeric;
BEGIN
  IF places IS NULL THEN PERFORM jet.raise(94); END IF;
  IF jet.whole(places) < 0 THEN PERFORM jet.raise(5); END IF;
  p := least(jet.whole(places), 22);
  IF v IS NULL THEN RETURN NULL; END IF;
  t := trunc(v, p);
  r := v - t;
  IF abs(r) * power(10::numeric, p) = 0.5 THEN
    -- a half: to the even neighbour
    IF mod(abs(t * power(10::numeric, p)), 2) = 0 THEN RETURN t; END IF;
    RETURN round(t + sign(v) * power(10::numeric, -p), p);
  END IF;
  RETURN round(v, p);
END
$$;
CREATE OR REPLACE FUNCTION jet.round(v integer, places double precision DEFAULT 0)
RETURNS integer LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF places IS NULL THEN PERFORM jet.raise(94); END IF;
  IF jet.whole(places) < 0 THEN PERFORM jet.raise(5); END IF;
  RETURN v;
END
$$;
CREATE OR REPLACE FUNCTION jet.round(v text, places double precision DEFAULT 0)
RETURNS double precision LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT jet.round(jet.number(v), places) $$;

-- Jet's / \ Mod ^ : Null in, Null out.
CREATE OR REPLACE FUNCTION jet.div(a double precision, b double precision) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  IF b = 0 THEN PERFORM jet.raise(11); END IF;
  RETURN a / b;
END
$$;
CREATE OR REPLACE FUNCTION jet.long_operand(v double precision) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.whole(v);
BEGIN
  IF k < -2147483648 OR k > 2147483647 THEN PERFORM jet.raise(6); END IF;
  RETURN k;
END
$$;
CREATE OR REPLACE FUNCTION jet.idiv(a double precision, b double precision) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE x bigint; y bigint;
BEGIN
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  x := jet.long_operand(a);
  y := jet.long_operand(b);
  IF y = 0 THEN PERFORM jet.raise(11); END IF;
  IF x / y > 2147483647 THEN PERFORM jet.raise(6); END IF;
  RETURN x / y;
END
$$;
CREATE OR REPLACE FUNCTION jet.mod(a double precision, b double precision) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE x bigint; y bigint;
BEGIN
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  x := jet.long_operand(a);
  y := jet.long_operand(b);
  IF y = 0 THEN PERFORM jet.raise(11); END IF;
  RETURN x % y;
END
$$;
CREATE OR REPLACE FUNCTION jet.pow(a double precision, b double precision) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  IF a < 0 AND b <> trunc(b) THEN PERFORM jet.raise(5); END IF;
  IF a = 0 AND b < 0 THEN PERFORM jet.raise(6); END IF;
  RETURN power(a, b);
END
$$;

-- ---- dates (arguments through jet.dt) ----

CREATE OR REPLACE FUNCTION jet.year(d timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT extract(year FROM d)::smallint $$;
CREATE OR REPLACE FUNCTION jet.month(d timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT extract(month FROM d)::smallint $$;
CREATE OR REPLACE FUNCTION jet.day(d timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT extract(day FROM d)::smallint $$;
CREATE OR REPLACE FUNCTION jet.hour(d timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT extract(hour FROM d)::smallint $$;
CREATE OR REPLACE FUNCTION jet.minute(d timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT extract(minute FROM d)::smallint $$;
CREATE OR REPLACE FUNCTION jet.second(d timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT floor(extract(second FROM d))::smallint $$;

-- The first day of the week: 1 Sunday ... 7 Saturday; 0 the locale's.
CREATE OR REPLACE FUNCTION jet.first_day(v double precision) RETURNS integer
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE k bigint;
BEGIN
  IF v IS NULL THEN RETURN 1; END IF;
  k := greatest(-1, least(jet.whole(v), 100));
  IF k = 0 THEN RETURN jet.setting('first_day', '1')::integer; END IF;
  IF k < 1 OR k > 7 THEN PERFORM jet.raise(5); END IF;
  RETURN k;
END
$$;

CREATE OR REPLACE FUNCTION jet.weekday_of(d date, first_day integer) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT ((extract(dow FROM d)::integer + 1) - first_day + 7) % 7 + 1 $$;

CREATE OR REPLACE FUNCTION jet.weekday(d timestamp, first_day double precision DEFAULT 1)
RETURNS smallint LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
BEGIN
  IF d IS NULL THEN RETURN NULL; END IF;
  RETURN jet.weekday_of(d::date, jet.first_day(first_day));
END
$$;

-- "yyyy" "q" "m" "y" "d" "w" "ww" "h" "n" "s", any letter case.
CREATE OR REPLACE FUNCTION jet.interval_code(iv text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE s text;
BEGIN
  IF iv IS NULL THEN PERFORM jet.raise(94); END IF;
  s := lower(btrim(iv COLLATE "C"));
  IF s NOT IN ('yyyy', 'q', 'm', 'y', 'd', 'w', 'ww', 'h', 'n', 's') THEN PERFORM jet.raise(5); END IF;
  RETURN s;
END
$$;

CREATE OR REPLACE FUNCTION jet.checked(d timestamp) RETURNS timestamp
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF extract(year FROM d) < 100 OR extract(year FROM d) > 9999 THEN PERFORM jet.raise(5); END IF;
  RETURN d;
END
$$;

-- DateAdd: n taken without its fraction; the result within the years 100-9999.
CREATE OR REPLACE FUNCTION jet.dateadd(iv text, n double precision, d timestamp)
RETURNS timestamp LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE c text; k bigint;
BEGIN
  IF iv IS NULL OR n IS NULL THEN PERFORM jet.raise(94); END IF;
  c := jet.interval_code(iv);
  IF n <> n OR abs(n) > 4.0e11 THEN PERFORM jet.raise(5); END IF;
  k := trunc(n)::bigint;
  IF d IS NULL THEN RETURN NULL; END IF;
  CASE c
    WHEN 'yyyy' THEN
      IF abs(k) > 10000 THEN PERFORM jet.raise(5); END IF;
      RETURN jet.checked(d + make_interval(years => k::integer));
    WHEN 'q', 'm' THEN
      IF c = 'q' THEN k := k * 3; END IF;
      IF abs(k) > 120000 THEN PERFORM jet.raise(5); END IF;
      RETURN jet.checked(d + make_interval(months => k::integer));
    WHEN 'y', 'd', 'w', 'ww' THEN
      IF c = 'ww' THEN k := k * 7; END IF;
      IF abs(k) > 3660000 THEN PERFORM jet.raise(5); END IF;
      RETURN jet.checked(d + make_interval(days => k::integer));
    WHEN 'h' THEN
      IF abs(k) > 87840000 THEN PERFORM jet.raise(5); END IF;
      RETURN jet.checked(d + make_interval(hours => k::integer));
    WHEN 'n' THEN
      IF abs(k) > 5270400000 THEN PERFORM jet.raise(5); END IF;
      RETURN jet.checked(d + make_interval(mins => k::integer));
    ELSE
      RETURN jet.checked(d + make_interval(secs => k));
  END CASE;
END
$$;

-- DateDiff: the number of interval boundaries crossed from a to b.
CREATE OR REPLACE FUNCTION jet.datediff(iv text, a timestamp, b timestamp,
                                        first_day double precision DEFAULT 1,
                                        first_week double precision DEFAULT 1)
RETURNS integer LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE c text; f integer; da date; db date; sa date; sb date;
BEGIN
  c := jet.interval_code(iv);
  f := jet.first_day(first_day);
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  da := a::date;
  db := b::date;
  CASE c
    WHEN 'yyyy' THEN RETURN extract(year FROM db) - extract(year FROM da);
    WHEN 'q' THEN
      RETURN (extract(year FROM db) * 4 + (extract(month FROM db)::integer - 1) / 3)
           - (extract(year FROM da) * 4 + (extract(month FROM da)::integer - 1) / 3);
    WHEN 'm' THEN
      RETURN (extract(year FROM db) * 12 + extract(month FROM db))
           - (extract(year FROM da) * 12 + extract(month FROM da));
    WHEN 'y', 'd' THEN RETURN db - da;
    WHEN 'w' THEN RETURN trunc((db - da) / 7.0);
    WHEN 'ww' THEN
      sa := da - (jet.weekday_of(da, f) - 1);
      sb := db - (jet.weekday_of(db, f) - 1);
      RETURN trunc((sb - sa) / 7.0);
    WHEN 'h' THEN
      RETURN ((db - date '1899-12-30')::bigint * 24 + extract(hour FROM b))
           - ((da - date '1899-12-30')::bigint * 24 + extract(hour FROM a));
    WHEN 'n' THEN
      RETURN ((db - date '1899-12-30')::bigint * 1440 + extract(hour FROM b) * 60 + extract(minute FROM b))
           - ((da - date '1899-12-30')::bigint * 1440 + extract(hour FROM a) * 60 + extract(minute FROM a));
    ELSE
      RETURN ((db - date '1899-12-30')::bigint * 86400 + floor(extract(epoch FROM b::time)))
           - ((da - date '1899-12-30')::bigint * 86400 + floor(extract(epoch FROM a::time)));
  END CASE;
END
$$;

-- DatePart; first_week 1: the week of January 1, 2: the first week with four
-- days, 3: the first full week (0 counts as 1).
CREATE OR REPLACE FUNCTION jet.datepart(iv text, d timestamp,
                                        first_day double precision DEFAULT 1,
                                        first_week double precision DEFAULT 1)
RETURNS integer LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE c text; f integer; w integer; s date; dd date;
BEGIN
  c := jet.interval_code(iv);
  f := jet.first_day(first_day);
  w := CASE WHEN first_week IS NULL THEN 1
            ELSE greatest(-1, least(jet.whole(first_week), 100))::integer END;
  IF d IS NULL THEN RETURN NULL; END IF;
  dd := d::date;
  CASE c
    WHEN 'yyyy' THEN RETURN extract(year FROM d);
    WHEN 'q' THEN RETURN (extract(month FROM d)::integer - 1) / 3 + 1;
    WHEN 'm' THEN RETURN extract(month FROM d);
    WHEN 'y' THEN RETURN extract(doy FROM d);
    WHEN 'd' THEN RETURN extract(day FROM d);
    WHEN 'w' THEN RETURN jet.weekday_of(dd, f);
    WHEN 'ww' THEN
      IF w = 0 THEN w := 1; END IF;
      IF w < 1 OR w > 3 THEN PERFORM jet.raise(5); END IF;
      s := jet.week_one(extract(year FROM dd)::integer, f, w);
      IF dd < s THEN s := jet.week_one(extract(year FROM dd)::integer - 1, f, w); END IF;
      RETURN (dd - s) / 7 + 1;
    WHEN 'h' THEN RETURN extract(hour FROM d);
    WHEN 'n' THEN RETURN extract(minute FROM d);
    ELSE RETURN floor(extract(second FROM d));
  END CASE;
END
$$;

CREATE OR REPLACE FUNCTION jet.week_one(y integer, f integer, w integer) RETURNS date
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE jan1 date := make_date(y, 1, 1); wd integer; s date;
BEGIN
  wd := jet.weekday_of(jan1, f);
  s := jan1 - (wd - 1);
  IF (w = 2 AND wd > 4) OR (w = 3 AND wd <> 1) THEN s := s + 7; END IF;
  RETURN s;
END
$$;

-- DateSerial: months and days beyond their range carry over; years 0-29 are
-- 2000-2029, 30-99 are 1930-1999.
CREATE OR REPLACE FUNCTION jet.dateserial(y double precision, m double precision, d double precision)
RETURNS timestamp LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE yy bigint; mm bigint; dd bigint;
BEGIN
  IF y IS NULL OR m IS NULL OR d IS NULL THEN PERFORM jet.raise(94); END IF;
  yy := jet.whole(y);
  mm := jet.whole(m);
  dd := jet.whole(d);
  IF yy BETWEEN 0 AND 29 THEN yy := yy + 2000; ELSIF yy BETWEEN 30 AND 99 THEN yy := yy + 1900; END IF;
  IF yy < 1 OR yy > 9999 OR abs(mm) > 120000 OR abs(dd) > 4000000 THEN PERFORM jet.raise(5); END IF;
  RETURN jet.checked((make_date(yy::integer, 1, 1) + make_interval(months => (mm - 1)::integer))::date
                     + (dd - 1)::integer + time '00:00');
END
$$;

CREATE OR REPLACE FUNCTION jet.datevalue(d timestamp) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT date_trunc('day', d) $$;
CREATE OR REPLACE FUNCTION jet.timevalue(d timestamp) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT date '1899-12-30' + d::time $$;

-- A date plus a number of days (fractions are times of day), and the days
-- between two dates, as the run-time counts them.
CREATE OR REPLACE FUNCTION jet.dateplus(d timestamp, n double precision) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.from_serial(jet.serial(d) + n) $$;
CREATE OR REPLACE FUNCTION jet.dateminus(a timestamp, b timestamp) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.serial(a) - jet.serial(b) $$;

-- ---- First and Last: the value of the first or last row, Null included ----

CREATE OR REPLACE FUNCTION jet.first_step(state anyarray, v anyelement) RETURNS anyarray
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN state IS NULL THEN ARRAY[v] ELSE state END $$;
CREATE OR REPLACE FUNCTION jet.last_step(state anyarray, v anyelement) RETURNS anyarray
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT ARRAY[v] $$;
CREATE OR REPLACE FUNCTION jet.held(state anyarray) RETURNS anyelement
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT state[1] $$;
DO $do$
BEGIN
  IF to_regprocedure('jet.first(anyelement)') IS NULL THEN
    CREATE AGGREGATE jet.first(anyelement) (SFUNC = jet.first_step, STYPE = anyarray,
                                            FINALFUNC = jet.held);
  END IF;
  IF to_regprocedure('jet.last(anyelement)') IS NULL THEN
    CREATE AGGREGATE jet.last(anyelement) (SFUNC = jet.last_step, STYPE = anyarray,
                                           FINALFUNC = jet.held);
  END IF;
END
$do$;

-- ---- LIKE ----

-- Jet's LIKE pattern (% any run, _ one character, [abc] [a-z] [!a-z] [^a-z],
-- [] no character at all; everything else literal) as an anchored regular
-- expression for ~* under jet.cs. Characters other than letters and digits
-- are written as \uXXXX escapes, so nothing in the pattern is read as an
-- operator of the expression.
CREATE OR REPLACE FUNCTION jet.like_char(c text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$
SELECT CASE
  WHEN c ~ '^[A-Za-z0-9]$' THEN c
  WHEN ascii(c) > 65535 THEN '\U' || lpad(to_hex(ascii(c)), 8, '0')
  ELSE '\u' || lpad(to_hex(ascii(c)), 4, '0') END
$$;

CREATE OR REPLACE FUNCTION jet.like_regex(p text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE
  s text := p COLLATE "C"; n integer; i integer := 1; j integer; c text; out text := '^(?:';
  set_text text; negated boolean; closed boolean; lo text; hi text; last_many boolean := false;
  ranges integer;
BEGIN
  IF p IS NULL THEN RETURN NULL; END IF;
  n := length(s);
  WHILE i <= n LOOP
    c := substr(s, i, 1);
    IF c = '%' THEN
      IF NOT last_many THEN out := out || '.*'; END IF;
      last_many := true;
      i := i + 1;
      CONTINUE;
    END IF;
    last_many := false;
    IF c = '_' THEN
      out := out || '.';
      i := i + 1;
    ELSIF c = '[' THEN
      j := i + 1;
      negated := false;
      IF j <= n AND substr(s, j, 1) IN ('!', '^') AND j + 1 <= n AND substr(s, j + 1, 1) <> ']' THEN
        negated := true;
        j := j + 1;
      END IF;
      closed := false;
      set_text := '';
      ranges := 0;
      WHILE j <= n LOOP
        IF substr(s, j, 1) = ']' THEN closed := true; EXIT; END IF;
        lo := substr(s, j, 1);
        IF j + 2 <= n AND substr(s, j + 1, 1) = '-' AND substr(s, j + 2, 1) <> ']' THEN
          hi := substr(s, j + 2, 1);
          IF ascii(lower(hi COLLATE jet.cs)) < ascii(lower(lo COLLATE jet.cs)) THEN
            RAISE EXCEPTION USING ERRCODE = 'NJ005', MESSAGE = 'Invalid pattern string';
          END IF;
          set_text := set_text || jet.like_char(lower(lo COLLATE jet.cs)) || '-'
                      || jet.like_char(lower(hi COLLATE jet.cs));
          j := j + 3;
        ELSE
          set_text := set_text || jet.like_char(lo);
          j := j + 1;
        END IF;
        ranges := ranges + 1;
      END LOOP;
      IF NOT closed THEN
        RAISE EXCEPTION USING ERRCODE = 'NJ005', MESSAGE = 'Invalid pattern string';
      END IF;
      IF ranges > 0 THEN
        out := out || '[' || CASE WHEN negated THEN '^' ELSE '' END || set_text || ']';
      END IF;
      i := j + 1;
    ELSE
      out := out || jet.like_char(c);
      i := i + 1;
    END IF;
  END LOOP;
  RETURN out || ')$';
END
$$;
)jetsql";

// Version 2: texts read as numbers and dates as the conversions read them
// (thousand separators, the currency symbol, month and weekday names, AM/PM),
// and Replace, InStrRev, StrComp, Chr, ChrW, Asc, String, Hex, Oct,
// IsNumeric, IsDate, MonthName, WeekdayName and TimeSerial. Regional names
// come from the session settings `jet.months`, `jet.months_short`,
// `jet.days`, `jet.days_short` (Sunday first, '|' between names), `jet.am`,
// `jet.pm`, `jet.currency`, `jet.thousands`, `jet.date_order` and
// `jet.date_separator`; a session that sets none of them gets the English ones.
const char* const kVersion2 = R"jetsql(
-- ---- regional names and characters ----

-- A list setting ('|' between items), the English one when the session has none.
CREATE OR REPLACE FUNCTION jet.names(name text, fallback text) RETURNS text[]
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT string_to_array(jet.setting(name, fallback), '|') $$;

-- A setting that may be empty on purpose (no currency symbol, no thousand
-- separator); the fallback only when the session does not set it at all.
CREATE OR REPLACE FUNCTION jet.setting_kept(name text, fallback text) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT coalesce(current_setting('jet.' || name, true), fallback) $$;

CREATE OR REPLACE FUNCTION jet.month_names(abbreviated boolean) RETURNS text[]
LANGUAGE sql STABLE PARALLEL SAFE AS
$$
SELECT CASE WHEN abbreviated
  THEN jet.names('months_short', 'Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec')
  ELSE jet.names('months', 'January|February|March|April|May|June|July|August|September|October|November|December') END
$$;

-- Sunday first.
CREATE OR REPLACE FUNCTION jet.day_names(abbreviated boolean) RETURNS text[]
LANGUAGE sql STABLE PARALLEL SAFE AS
$$
SELECT CASE WHEN abbreviated
  THEN jet.names('days_short', 'Sun|Mon|Tue|Wed|Thu|Fri|Sat')
  ELSE jet.names('days', 'Sunday|Monday|Tuesday|Wednesday|Thursday|Friday|Saturday') END
$$;

-- Blanks of every kind off both ends.
CREATE OR REPLACE FUNCTION jet.trimmed(t text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT regexp_replace(t COLLATE jet.cs, '^[[:space:]]+|[[:space:]]+$', '', 'g') $$;

CREATE OR REPLACE FUNCTION jet.is_blank(c text) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT c COLLATE jet.cs ~ '^[[:space:]]$' $$;

-- A regular expression matching the one character c as it is.
CREATE OR REPLACE FUNCTION jet.re_char(c text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN ascii(c) > 65535 THEN '\U' || lpad(to_hex(ascii(c)), 8, '0')
               ELSE '\u' || lpad(to_hex(ascii(c)), 4, '0') END $$;

-- ---- texts as numbers ----

-- A whole text as a number as the conversions read it: blanks around, a sign,
-- the currency symbol before or after, thousand separators between digits of
-- the whole part, the regional decimal separator or '.', an exponent (E or
-- D), &H and &O. Null when the text is no number (or beyond a double).
CREATE OR REPLACE FUNCTION jet.read_number(t text) RETURNS double precision
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE
  s text; sym text; grp text; pt text; o text; c text; n integer; i integer;
  in_fraction boolean := false; blank_group boolean; sign text := ''; m text[];
  mant numeric; ex bigint := 0; v numeric;
BEGIN
  IF t IS NULL THEN RETURN NULL; END IF;
  s := jet.trimmed(t);
  IF s = '' THEN RETURN NULL; END IF;
  sym := jet.setting_kept('currency', '$');
  IF sym <> '' AND length(s) > length(sym) THEN
    IF left(s, length(sym)) = sym THEN
      s := jet.trimmed(substr(s, length(sym) + 1));
    ELSIF right(s, length(sym)) = sym THEN
      s := jet.trimmed(left(s, length(s) - length(sym)));
    ELSIF length(s) > length(sym) + 1 AND left(s, 1) IN ('-', '+') AND substr(s, 2, length(sym)) = sym THEN
      s := left(s, 1) || jet.trimmed(substr(s, 2 + length(sym)));
    END IF;
  END IF;
  grp := jet.setting_kept('thousands', ',');
  pt := jet.setting('decimal', '.');
  IF length(grp) = 1 AND grp <> pt THEN
    blank_group := jet.is_blank(grp);
    o := '';
    n := length(s);
    FOR i IN 1 .. n LOOP
      c := substr(s, i, 1);
      IF c = pt THEN in_fraction := true; END IF;
      IF c = grp OR (blank_group AND c = ' ') THEN
        IF NOT in_fraction AND i > 1 AND substr(s, i - 1, 1) BETWEEN '0' AND '9' AND i < n
           AND substr(s, i + 1, 1) BETWEEN '0' AND '9' THEN
          CONTINUE;
        END IF;
        IF NOT blank_group THEN RETURN NULL; END IF;  -- a separator out of place
      END IF;
      o := o || c;
    END LOOP;
    s := o;
  END IF;
  s := jet.trimmed(s);
  IF s = '' THEN RETURN NULL; END IF;
  IF length(s) > 2 AND left(s, 1) = '&' AND upper(substr(s, 2, 1)) IN ('H', 'O') THEN
    IF upper(substr(s, 2, 1)) = 'H' THEN
      IF substr(s, 3) !~ '^[0-9A-Fa-f]+$' THEN RETURN NULL; END IF;
      IF length(ltrim(substr(s, 3), '0')) > 8 THEN RETURN NULL; END IF;
    ELSE
      IF substr(s, 3) !~ '^[0-7]+$' THEN RETURN NULL; END IF;
      IF length(ltrim(substr(s, 3), '0')) > 11
         OR (length(ltrim(substr(s, 3), '0')) = 11 AND ltrim(substr(s, 3), '0') > '37777777777') THEN
        RETURN NULL;
      END IF;
    END IF;
    RETURN jet.val(s);
  END IF;
  IF left(s, 1) IN ('+', '-') THEN
    IF left(s, 1) = '-' THEN sign := '-'; END IF;
    s := ltrim(substr(s, 2), ' ');
  END IF;
  m := regexp_match(s COLLATE "C", '^([0-9]*)(?:[.' || jet.re_char(pt) || ']([0-9]*))?(?:[EeDd]([+-]?[0-9]+))?$');
  IF m IS NULL OR coalesce(m[1], '') || coalesce(m[2], '') = '' THEN RETURN NULL; END IF;
  mant := (CASE WHEN m[1] = '' THEN '0' ELSE m[1] END || '.' || coalesce(nullif(m[2], ''), '0'))::numeric;
  IF m[3] IS NOT NULL THEN
    IF length(ltrim(ltrim(m[3], '+-'), '0')) > 6 THEN
      ex := CASE WHEN left(m[3], 1) = '-' THEN -1000000 ELSE 1000000 END;
    ELSE
      ex := m[3]::bigint;
    END IF;
  END IF;
  IF mant = 0 THEN RETURN (sign || '0')::double precision; END IF;
  IF ex + length(trunc(mant)::text) > 400 THEN RETURN NULL; END IF;
  IF ex < -1000 THEN RETURN (sign || '0')::double precision; END IF;
  v := mant * ('1e' || ex::text)::numeric;
  IF v > 1.7976931348623157e308 THEN RETURN NULL; END IF;
  IF v < 2.4703282292062328e-324 THEN RETURN (sign || '0')::double precision; END IF;
  RETURN (sign || mant::text || 'e' || ex::text)::double precision;
END
$$;

-- A text as a number for the conversions and arithmetic; True and False too.
CREATE OR REPLACE FUNCTION jet.number(t text) RETURNS double precision
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE v double precision; s text;
BEGIN
  IF t IS NULL THEN RETURN NULL; END IF;
  v := jet.read_number(t COLLATE "C");
  IF v IS NOT NULL THEN RETURN v; END IF;
  s := lower(jet.trimmed(t));
  IF s = 'true' THEN RETURN -1; END IF;
  IF s = 'false' THEN RETURN 0; END IF;
  PERFORM jet.raise(13);
  RETURN NULL;
END
$$;

-- ---- texts as dates ----

-- 1..12 for a month name (English, whole or its first three letters or more,
-- or the session's, long or short), else 0. w is in lower case.
CREATE OR REPLACE FUNCTION jet.month_of(w text) RETURNS integer
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE
  english text[] := ARRAY['january', 'february', 'march', 'april', 'may', 'june', 'july',
                          'august', 'september', 'october', 'november', 'december'];
  long_names text[] := jet.month_names(false);
  short_names text[] := jet.month_names(true);
BEGIN
  IF length(w) < 3 THEN RETURN 0; END IF;
  FOR m IN 1 .. 12 LOOP
    IF left(english[m], length(w)) = w THEN RETURN m; END IF;
    IF w = lower(long_names[m] COLLATE jet.cs)
       OR w = replace(lower(short_names[m] COLLATE jet.cs), '.', '') THEN
      RETURN m;
    END IF;
  END LOOP;
  RETURN 0;
END
$$;

CREATE OR REPLACE FUNCTION jet.is_weekday(w text) RETURNS boolean
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE
  english text[] := ARRAY['sunday', 'monday', 'tuesday', 'wednesday', 'thursday', 'friday', 'saturday'];
  long_names text[] := jet.day_names(false);
  short_names text[] := jet.day_names(true);
BEGIN
  IF length(w) < 3 THEN RETURN false; END IF;
  FOR d IN 1 .. 7 LOOP
    IF left(english[d], length(w)) = w
       OR w = lower(long_names[d] COLLATE jet.cs)
       OR w = replace(lower(short_names[d] COLLATE jet.cs), '.', '') THEN
      RETURN true;
    END IF;
  END LOOP;
  RETURN false;
END
$$;

-- +1 for a PM word, -1 for an AM word, 0 for neither.
CREATE OR REPLACE FUNCTION jet.meridiem(w text) RETURNS integer
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE am text := jet.setting('am', 'AM'); pm text := jet.setting('pm', 'PM');
BEGIN
  IF w IN ('am', 'a') THEN RETURN -1; END IF;
  IF w IN ('pm', 'p') THEN RETURN 1; END IF;
  IF am <> '' AND w = replace(lower(am COLLATE jet.cs), '.', '') THEN RETURN -1; END IF;
  IF pm <> '' AND w = replace(lower(pm COLLATE jet.cs), '.', '') THEN RETURN 1; END IF;
  RETURN 0;
END
$$;

-- A date of the years 100-9999, or Null.
CREATE OR REPLACE FUNCTION jet.valid_date(y bigint, m bigint, d bigint) RETURNS date
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF y < 100 OR y > 9999 OR m < 1 OR m > 12 OR d < 1 OR d > 31 THEN RETURN NULL; END IF;
  IF d > extract(day FROM make_date(y::integer, m::integer, 1) + interval '1 month - 1 day') THEN
    RETURN NULL;
  END IF;
  RETURN make_date(y::integer, m::integer, d::integer);
END
$$;

-- A year as written: two digits or fewer fall in 1930-2029.
CREATE OR REPLACE FUNCTION jet.full_year(v bigint, digits integer) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN digits > 2 THEN v WHEN v < 30 THEN 2000 + v ELSE 1900 + v END $$;

-- A date and/or time read from text as the conversions read it: numbers
-- separated by / - . or blanks (a first number of three or four digits is a
-- year; else the regional order when the numbers stand between the regional
-- separator, month first otherwise, then the other orders); month names;
-- weekday names skipped; two-digit years in 1930-2029; a day and month
-- without a year in the current year; h:mm[:ss[.fff]] or "h AM" with AM/PM.
-- A time alone falls on 1899-12-30. Null when the text is no date.
CREATE OR REPLACE FUNCTION jet.read_date(t text) RETURNS timestamp
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE
  s text; n integer; i integer; j integer; c text; w text; kept text;
  -- pieces: kind ('n' number, 'w' word, ':' colon, 's' separator), text, value, digits
  pk text[] := '{}'; pt text[] := '{}'; pv bigint[] := '{}'; pd integer[] := '{}'; np integer;
  -- what is left for the date
  rk text[] := '{}'; rt text[] := '{}'; rv bigint[] := '{}'; rd integer[] := '{}';
  -- the date's parts
  ak text[] := '{}'; av bigint[] := '{}'; ad integer[] := '{}'; aw text[] := '{}'; na integer;
  ampm integer := 0; mer integer; has_time boolean := false;
  h bigint; mi bigint; sec bigint; ms bigint; tm time;
  sep text; reg_sep text; preferred text; months integer := 0; numbers integer := 0;
  month integer; month_at integer; d date; cy integer; o text; x integer; y integer;
BEGIN
  IF t IS NULL THEN RETURN NULL; END IF;
  s := jet.trimmed(t);
  IF s = '' OR length(s) > 100 THEN RETURN NULL; END IF;
  -- Cut into pieces.
  n := length(s);
  i := 1;
  WHILE i <= n LOOP
    c := substr(s, i, 1);
    IF c BETWEEN '0' AND '9' AND c ~ '^[0-9]$' THEN
      j := i;
      WHILE j <= n AND substr(s, j, 1) ~ '^[0-9]$' AND j - i < 9 LOOP j := j + 1; END LOOP;
      IF j <= n AND substr(s, j, 1) ~ '^[0-9]$' THEN RETURN NULL; END IF;
      pk := pk || 'n'::text; pt := pt || substr(s, i, j - i);
      pv := pv || substr(s, i, j - i)::bigint; pd := pd || (j - i);
      i := j;
    ELSIF c COLLATE jet.cs ~ '^[[:alpha:]]$' THEN
      j := i;
      WHILE j <= n AND (substr(s, j, 1) COLLATE jet.cs ~ '^[[:alpha:]]$' OR substr(s, j, 1) = '.') LOOP
        j := j + 1;
      END LOOP;
      w := replace(rtrim(substr(s, i, j - i), '.'), '.', '');
      pk := pk || 'w'::text; pt := pt || lower(w COLLATE jet.cs); pv := pv || 0::bigint; pd := pd || 0;
      i := j;
    ELSIF c = ':' THEN
      pk := pk || ':'::text; pt := pt || c; pv := pv || 0::bigint; pd := pd || 0;
      i := i + 1;
    ELSIF c IN ('/', '-', '.', ',') OR jet.is_blank(c) THEN
      kept := ' ';
      WHILE i <= n AND (substr(s, i, 1) IN ('/', '-', '.', ',') OR jet.is_blank(substr(s, i, 1))) LOOP
        IF NOT jet.is_blank(substr(s, i, 1)) THEN kept := substr(s, i, 1); END IF;
        i := i + 1;
      END LOOP;
      pk := pk || 's'::text; pt := pt || kept; pv := pv || 0::bigint; pd := pd || 0;
    ELSE
      RETURN NULL;
    END IF;
  END LOOP;
  np := coalesce(array_length(pk, 1), 0);

  -- The time, with an AM/PM word before or after.
  i := 1;
  WHILE i <= np LOOP
    IF pk[i] = 'w' THEN
      mer := jet.meridiem(pt[i]);
      IF mer <> 0 THEN
        IF ampm <> 0 THEN RETURN NULL; END IF;
        ampm := mer;
        i := i + 1;
        CONTINUE;
      END IF;
    END IF;
    IF pk[i] = 'n' AND NOT has_time
       AND ((i + 2 <= np AND pk[i + 1] = ':' AND pk[i + 2] = 'n')
            OR (i + 1 <= np AND pk[i + 1] = 'w' AND jet.meridiem(pt[i + 1]) <> 0)
            OR (i + 2 <= np AND pk[i + 1] = 's' AND pt[i + 1] = ' ' AND pk[i + 2] = 'w'
                AND jet.meridiem(pt[i + 2]) <> 0)) THEN
      h := pv[i]; mi := 0; sec := 0; ms := 0;
      j := i + 1;
      IF j + 1 <= np AND pk[j] = ':' THEN
        mi := pv[j + 1];
        IF pd[j + 1] > 2 THEN RETURN NULL; END IF;
        j := j + 2;
        IF j + 1 <= np AND pk[j] = ':' AND pk[j + 1] = 'n' THEN
          sec := pv[j + 1];
          IF pd[j + 1] > 2 THEN RETURN NULL; END IF;
          j := j + 2;
          IF j + 1 <= np AND pk[j] = 's' AND pt[j] = '.' AND pk[j + 1] = 'n' THEN
            ms := round(pv[j + 1] * power(10::numeric, 3 - pd[j + 1]));
            j := j + 2;
          END IF;
        END IF;
      END IF;
      IF pd[i] > 2 OR h > 23 OR mi > 59 OR sec > 59 OR ms > 999 THEN RETURN NULL; END IF;
      tm := make_time(h::integer, mi::integer, sec + ms / 1000.0);
      has_time := true;
      i := j;
      CONTINUE;
    END IF;
    rk := rk || pk[i]; rt := rt || pt[i]; rv := rv || pv[i]; rd := rd || pd[i];
    i := i + 1;
  END LOOP;
  IF ampm <> 0 THEN
    IF NOT has_time THEN RETURN NULL; END IF;
    h := extract(hour FROM tm);
    IF h = 0 OR h > 12 THEN RETURN NULL; END IF;
    IF ampm > 0 AND h < 12 THEN tm := tm + interval '12 hours'; END IF;
    IF ampm < 0 AND h = 12 THEN tm := tm - interval '12 hours'; END IF;
  END IF;

  -- The date: what is left, separators and weekday names aside.
  FOR i IN 1 .. coalesce(array_length(rk, 1), 0) LOOP
    IF rk[i] = 's' THEN
      IF sep IS NULL AND coalesce(array_length(ak, 1), 0) > 0 THEN sep := rt[i]; END IF;
      CONTINUE;
    END IF;
    IF rk[i] = ':' THEN RETURN NULL; END IF;
    IF rk[i] = 'w' AND jet.is_weekday(rt[i]) THEN CONTINUE; END IF;
    ak := ak || rk[i]; aw := aw || rt[i]; av := av || rv[i]; ad := ad || rd[i];
  END LOOP;
  na := coalesce(array_length(ak, 1), 0);
  -- A 'T' between an ISO date and its time.
  IF na > 0 AND ak[na] = 'w' AND aw[na] = 't' AND has_time THEN
    na := na - 1;
  END IF;
  reg_sep := jet.setting('date_separator', '/');
  o := jet.setting('date_order', split_part(current_setting('DateStyle'), ', ', 2));
  IF o NOT IN ('DMY', 'MDY', 'YMD') THEN o := 'MDY'; END IF;
  preferred := CASE WHEN sep = reg_sep THEN o ELSE 'MDY' END;
  FOR i IN 1 .. na LOOP
    IF ak[i] = 'n' THEN
      numbers := numbers + 1;
    ELSIF jet.month_of(aw[i]) > 0 THEN
      months := months + 1;
    ELSE
      RETURN NULL;  -- a word that is no month
    END IF;
  END LOOP;
  IF na = 0 THEN
    IF NOT has_time THEN RETURN NULL; END IF;
    RETURN date '1899-12-30' + tm;
  END IF;
  cy := jet.setting('year', extract(year FROM localtimestamp)::text)::integer;
  IF months = 0 THEN
    IF numbers = 3 THEN
      IF ad[1] >= 3 THEN
        d := jet.valid_date(av[1], av[2], av[3]);
      ELSE
        FOREACH o IN ARRAY ARRAY[preferred, 'MDY', 'DMY', 'YMD'] LOOP
          IF o = 'MDY' AND ad[3] <> 3 THEN
            d := jet.valid_date(jet.full_year(av[3], ad[3]), av[1], av[2]);
          ELSIF o = 'DMY' AND ad[3] <> 3 THEN
            d := jet.valid_date(jet.full_year(av[3], ad[3]), av[2], av[1]);
          ELSIF o = 'YMD' THEN
            d := jet.valid_date(jet.full_year(av[1], ad[1]), av[2], av[3]);
          END IF;
          EXIT WHEN d IS NOT NULL;
        END LOOP;
      END IF;
    ELSIF numbers = 2 THEN
      IF ad[2] >= 3 THEN
        d := jet.valid_date(av[2], av[1], 1);
      ELSIF ad[1] >= 3 THEN
        d := jet.valid_date(av[1], av[2], 1);
      ELSIF preferred = 'DMY' THEN
        d := coalesce(jet.valid_date(cy, av[2], av[1]), jet.valid_date(cy, av[1], av[2]));
      ELSE
        d := coalesce(jet.valid_date(cy, av[1], av[2]), jet.valid_date(cy, av[2], av[1]));
      END IF;
    END IF;
  ELSIF months = 1 AND numbers BETWEEN 1 AND 2 THEN
    x := NULL; y := NULL;
    FOR i IN 1 .. na LOOP
      IF ak[i] = 'w' THEN
        month := jet.month_of(aw[i]);
        month_at := i;
      ELSIF x IS NULL THEN
        x := i;
      ELSE
        y := i;
      END IF;
    END LOOP;
    IF y IS NOT NULL THEN
      -- "2 Jan 2024", "Jan 2, 2024", "2024 Jan 2"; "Jan 2024 2" is refused.
      IF ad[x] >= 3 THEN
        d := jet.valid_date(av[x], month, av[y]);
      ELSIF month_at <= 2 THEN
        d := jet.valid_date(jet.full_year(av[y], ad[y]), month, av[x]);
      END IF;
    ELSE
      -- "Jan 2024" (the first), "2 Jan" / "Jan 2" (the current year).
      IF ad[x] >= 3 THEN
        d := jet.valid_date(av[x], month, 1);
      ELSIF av[x] <= 31 THEN
        d := jet.valid_date(cy, month, av[x]);
      ELSE
        d := jet.valid_date(jet.full_year(av[x], ad[x]), month, 1);
      END IF;
    END IF;
  END IF;
  IF d IS NULL THEN RETURN NULL; END IF;
  RETURN d + coalesce(tm, time '00:00');
END
$$;

-- A value as a date: dates, day numbers, and texts read as dates (then as
-- numbers: day numbers).
CREATE OR REPLACE FUNCTION jet.dt(v text) RETURNS timestamp
LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE r timestamp; n double precision;
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  r := jet.read_date(v COLLATE "C");
  IF r IS NOT NULL THEN RETURN r; END IF;
  n := jet.read_number(v COLLATE "C");
  IF n IS NULL THEN PERFORM jet.raise(13); END IF;
  RETURN jet.from_serial(n);
END
$$;

-- ---- more text functions ----

-- A compare argument: 0 binary, 1 and 2 text; Null fails with 94.
CREATE OR REPLACE FUNCTION jet.compare_mode(c double precision) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.whole(c);
BEGIN
  IF k NOT IN (0, 1, 2) THEN PERFORM jet.raise(5); END IF;
  RETURN k;
END
$$;

-- Replace(expression, find, replacement [, start [, count [, compare]]]): the
-- text from start on, with up to count finds replaced (-1: all).
DROP FUNCTION IF EXISTS jet.replace(text, text, text, double precision, double precision, double precision);
CREATE FUNCTION jet.replace(s text, f text, r text, start double precision DEFAULT 1,
                            k double precision DEFAULT -1, compare double precision DEFAULT 1)
RETURNS text LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE b bigint; cnt bigint; c integer; tail text; hay text; needle text; o text := '';
  p integer; from_at integer := 1; done bigint := 0;
BEGIN
  IF s IS NULL OR f IS NULL OR r IS NULL OR start IS NULL OR k IS NULL THEN
    PERFORM jet.raise(94);
  END IF;
  b := jet.whole(start);
  IF b < 1 THEN PERFORM jet.raise(5); END IF;
  cnt := jet.whole(k);
  IF cnt < -1 THEN PERFORM jet.raise(5); END IF;
  c := jet.compare_mode(compare);
  IF b > length(s) THEN RETURN ''; END IF;
  tail := substr(s, b::integer);
  IF length(f) = 0 OR cnt = 0 THEN RETURN tail; END IF;
  IF c = 0 AND cnt = -1 THEN RETURN replace(tail COLLATE "C", f COLLATE "C", r); END IF;
  hay := tail;
  needle := f;
  IF c <> 0 THEN
    hay := lower(tail COLLATE jet.cs);
    needle := lower(f COLLATE jet.cs);
  END IF;
  LOOP
    EXIT WHEN cnt >= 0 AND done >= cnt;
    p := strpos(substr(hay, from_at) COLLATE "C", needle COLLATE "C");
    EXIT WHEN p = 0;
    o := o || substr(tail, from_at, p - 1) || r;
    from_at := from_at + p - 1 + length(f);
    done := done + 1;
  END LOOP;
  RETURN o || substr(tail, from_at);
END
$$;

-- InStrRev(check, match [, start [, compare]]): the last place of match
-- ending at or before start (-1: the end).
CREATE OR REPLACE FUNCTION jet.instrrev(s text, f text, start double precision DEFAULT -1,
                                        compare double precision DEFAULT 1)
RETURNS integer LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE b bigint; c integer; last integer; hay text; needle text; p integer;
BEGIN
  b := jet.whole(start);
  IF b = 0 OR b < -1 THEN PERFORM jet.raise(5); END IF;
  c := jet.compare_mode(compare);
  IF s IS NULL OR f IS NULL THEN RETURN NULL; END IF;
  IF b > length(s) THEN RETURN 0; END IF;
  IF length(f) = 0 THEN RETURN CASE WHEN b = -1 THEN length(s) ELSE b END; END IF;
  last := CASE WHEN b = -1 THEN length(s) ELSE b END;
  IF length(f) > last THEN RETURN 0; END IF;
  hay := left(s, last);
  needle := f;
  IF c <> 0 THEN
    hay := lower(hay COLLATE jet.cs);
    needle := lower(needle COLLATE jet.cs);
  END IF;
  p := strpos(reverse(hay) COLLATE "C", reverse(needle) COLLATE "C");
  IF p = 0 THEN RETURN 0; END IF;
  RETURN length(hay) - p - length(needle) + 2;
END
$$;

-- StrComp(a, b [, compare]): -1, 0 or 1; binary or without regard to case.
CREATE OR REPLACE FUNCTION jet.strcomp(a text, b text, compare double precision DEFAULT 1)
RETURNS smallint LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE c integer := jet.compare_mode(compare); x text := a; y text := b;
BEGIN
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  IF c <> 0 THEN
    x := lower(a COLLATE jet.cs);
    y := lower(b COLLATE jet.cs);
  END IF;
  RETURN CASE WHEN x COLLATE "C" < y COLLATE "C" THEN -1
              WHEN x COLLATE "C" > y COLLATE "C" THEN 1 ELSE 0 END;
END
$$;

-- One character of a code; the server's texts hold no NUL and no half of a
-- surrogate pair: those fail as invalid arguments.
CREATE OR REPLACE FUNCTION jet.char_of(code bigint) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF code = 0 OR code BETWEEN 55296 AND 57343 THEN PERFORM jet.raise(5); END IF;
  RETURN chr(code::integer);
END
$$;

-- Chr(code): 0-255, 128-159 as the Windows-1252 characters the system writes.
CREATE OR REPLACE FUNCTION jet.chr(code double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE c bigint;
  cp1252 integer[] := ARRAY[8364, 129, 8218, 402, 8222, 8230, 8224, 8225, 710, 8240, 352, 8249,
                            338, 141, 381, 143, 144, 8216, 8217, 8220, 8221, 8226, 8211, 8212,
                            732, 8482, 353, 8250, 339, 157, 382, 376];
BEGIN
  IF code IS NULL THEN PERFORM jet.raise(94); END IF;
  c := jet.whole(code);
  IF c < 0 OR c > 255 THEN PERFORM jet.raise(5); END IF;
  IF c BETWEEN 128 AND 159 THEN c := cp1252[c - 127]; END IF;
  RETURN jet.char_of(c);
END
$$;

-- ChrW(code): -32768 to 65535, negatives counted from 65536.
CREATE OR REPLACE FUNCTION jet.chrw(code double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE c bigint;
BEGIN
  IF code IS NULL THEN PERFORM jet.raise(94); END IF;
  c := jet.whole(code);
  IF c < -32768 OR c > 65535 THEN PERFORM jet.raise(5); END IF;
  IF c < 0 THEN c := c + 65536; END IF;
  RETURN jet.char_of(c);
END
$$;

-- Asc and AscW: the first UTF-16 unit of the text (a character beyond the
-- basic plane gives its high surrogate).
CREATE OR REPLACE FUNCTION jet.asc(s text) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE c integer;
BEGIN
  IF s IS NULL THEN PERFORM jet.raise(94); END IF;
  IF length(s) = 0 THEN PERFORM jet.raise(5); END IF;
  c := ascii(s);
  IF c > 65535 THEN c := 55296 + ((c - 65536) >> 10); END IF;
  RETURN c;
END
$$;

-- String(n, character): n copies of a text's first character or of a
-- character code (modulo 256).
CREATE OR REPLACE FUNCTION jet.string(n double precision, c text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.count_arg(n);
BEGIN
  IF c IS NULL THEN RETURN NULL; END IF;
  IF length(c) = 0 THEN PERFORM jet.raise(5); END IF;
  IF k > 100000000 THEN PERFORM jet.raise(14); END IF;
  RETURN repeat(left(c, 1), k::integer);
END
$$;
CREATE OR REPLACE FUNCTION jet.string(n double precision, c double precision) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint := jet.count_arg(n); code bigint;
BEGIN
  IF c IS NULL THEN RETURN NULL; END IF;
  code := ((jet.whole(c) % 256) + 256) % 256;
  IF k > 100000000 THEN PERFORM jet.raise(14); END IF;
  RETURN repeat(jet.char_of(code), k::integer);
END
$$;
-- A date: the first character of its stored form (the year's first digit).
CREATE OR REPLACE FUNCTION jet.string(n double precision, c timestamp) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT jet.string(n, to_char(c, 'YYYY')) $$;

-- Hex and Oct of a whole number; negatives as 16-bit or 32-bit two's complement.
CREATE OR REPLACE FUNCTION jet.radix_text(v double precision, radix integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE k bigint; o text := '';
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  k := jet.whole(v);
  IF k < -2147483648 OR k > 2147483647 THEN PERFORM jet.raise(6); END IF;
  IF k < 0 THEN k := k + CASE WHEN k >= -32768 THEN 65536 ELSE 4294967296 END; END IF;
  IF radix = 16 THEN RETURN upper(to_hex(k)); END IF;
  LOOP
    o := (k % radix)::text || o;
    k := k / radix;
    EXIT WHEN k = 0;
  END LOOP;
  RETURN o;
END
$$;
CREATE OR REPLACE FUNCTION jet.hex(v double precision) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.radix_text(v, 16) $$;
CREATE OR REPLACE FUNCTION jet.oct(v double precision) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.radix_text(v, 8) $$;

-- ---- tests of values ----

-- IsNumeric: numbers are; texts that read as numbers are; dates and Null are not.
CREATE OR REPLACE FUNCTION jet.isnumeric(v text) RETURNS smallint
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN jet.read_number(v COLLATE "C") IS NOT NULL THEN -1 ELSE 0 END::smallint $$;
CREATE OR REPLACE FUNCTION jet.isnumeric(v double precision) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN v IS NOT NULL THEN -1 ELSE 0 END::smallint $$;
CREATE OR REPLACE FUNCTION jet.isnumeric(v timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT 0::smallint $$;
CREATE OR REPLACE FUNCTION jet.isnumeric(v bytea) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT 0::smallint $$;

-- IsDate: dates are; texts that read as dates are; numbers and Null are not.
CREATE OR REPLACE FUNCTION jet.isdate(v text) RETURNS smallint
LANGUAGE sql STABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN jet.read_date(v COLLATE "C") IS NOT NULL THEN -1 ELSE 0 END::smallint $$;
CREATE OR REPLACE FUNCTION jet.isdate(v timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN v IS NOT NULL THEN -1 ELSE 0 END::smallint $$;
CREATE OR REPLACE FUNCTION jet.isdate(v double precision) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT 0::smallint $$;
CREATE OR REPLACE FUNCTION jet.isdate(v bytea) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT 0::smallint $$;

-- ---- names and times ----

-- An abbreviate argument: absent or Null is False.
CREATE OR REPLACE FUNCTION jet.abbreviated(v double precision) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT coalesce(v <> 0, false) $$;

CREATE OR REPLACE FUNCTION jet.monthname(m double precision, abbreviate double precision DEFAULT NULL)
RETURNS text LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE k bigint;
BEGIN
  IF m IS NULL THEN PERFORM jet.raise(94); END IF;
  k := jet.whole(m);
  IF k < 1 OR k > 12 THEN PERFORM jet.raise(5); END IF;
  RETURN (jet.month_names(jet.abbreviated(abbreviate)))[k];
END
$$;

-- WeekdayName(day [, abbreviate [, first day]]): day 1 is the first day.
CREATE OR REPLACE FUNCTION jet.weekdayname(wd double precision, abbreviate double precision DEFAULT NULL,
                                           first_day double precision DEFAULT NULL)
RETURNS text LANGUAGE plpgsql STABLE PARALLEL SAFE AS
$$
DECLARE k bigint; a boolean; f integer;
BEGIN
  IF wd IS NULL THEN PERFORM jet.raise(94); END IF;
  k := jet.whole(wd);
  IF k < 1 OR k > 7 THEN PERFORM jet.raise(5); END IF;
  a := jet.abbreviated(abbreviate);
  f := jet.first_day(first_day);
  RETURN (jet.day_names(a))[(f - 1 + k - 1) % 7 + 1];
END
$$;

-- TimeSerial: parts beyond their ranges carry over; a negative time counts
-- back from midnight of the zero date with its time of day kept positive.
CREATE OR REPLACE FUNCTION jet.timeserial(h double precision, m double precision, s double precision)
RETURNS timestamp LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE hh bigint; mm bigint; ss bigint; v double precision; days double precision;
BEGIN
  IF h IS NULL OR m IS NULL OR s IS NULL THEN PERFORM jet.raise(94); END IF;
  hh := jet.whole(h);
  mm := jet.whole(m);
  ss := jet.whole(s);
  IF abs(hh) > 87840000 OR abs(mm) > 5270400000 OR abs(ss) > 316224000000 THEN
    PERFORM jet.raise(6);
  END IF;
  v := (hh::double precision * 3600 + mm::double precision * 60 + ss::double precision) / 86400.0;
  IF v < 0 THEN
    days := floor(v);
    v := days - (v - days);
  END IF;
  RETURN jet.from_serial(v);
END
$$;
)jetsql";

struct Step {
    int version;
    const char* script;
};
const Step kSteps[] = {{1, kVersion1}, {2, kVersion2}, {2, kJetWritesScript}};

std::string versionFunction(int version) {
    return "CREATE OR REPLACE FUNCTION jet.schema_version() RETURNS integer LANGUAGE sql "
           "IMMUTABLE PARALLEL SAFE AS $$ SELECT " +
           std::to_string(version) + " $$;\n";
}

}  // namespace

std::string jetSchemaScript() { return jetSchemaScript(kJetSchemaVersion); }

std::string jetSchemaScript(int version) {
    std::string out;
    for (const Step& s : kSteps)
        if (s.version <= version) out += s.script;
    out += versionFunction(version);
    return out;
}

int installedJetSchemaVersion(Session& s) {
    ResultPtr has = s.query(
        "SELECT 1 FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
        "WHERE n.nspname = 'jet' AND p.proname = 'schema_version' AND p.pronargs = 0");
    if (PQntuples(has.get()) == 0) return 0;
    ResultPtr r = s.query("SELECT jet.schema_version()");
    return std::atoi(PQgetvalue(r.get(), 0, 0));
}

int installJetSchema(Session& s) {
    s.exec("BEGIN");
    try {
        s.exec(kInstallLock);
        const int before = installedJetSchemaVersion(s);
        if (before > kJetSchemaVersion)
            rt::raise(rt::err::DbGeneric,
                      QStringLiteral("The jet schema on '%1' is version %2, newer than this "
                                     "program's %3; it was left as it is.")
                          .arg(s.label())
                          .arg(before)
                          .arg(kJetSchemaVersion));
        // Every step is idempotent: running them all again repairs a schema
        // whose objects were changed or dropped by hand.
        for (const Step& step : kSteps) s.exec(step.script);
        s.exec(versionFunction(kJetSchemaVersion));
        s.exec("COMMIT");
        return before;
    } catch (...) {
        try {
            s.exec("ROLLBACK");
        } catch (const rt::Error&) {
        }
        throw;
    }
}

void checkJetSchema(Session& s) {
    const int v = installedJetSchemaVersion(s);
    if (v == 0)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The server database of '%1' has no jet schema. The site "
                                 "administrator installs it with: jetmove install.")
                      .arg(s.label()));
    if (v < kJetSchemaVersion)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The jet schema of '%1' is version %2; this program needs "
                                 "version %3. The site administrator upgrades it with: jetmove "
                                 "install.")
                      .arg(s.label())
                      .arg(v)
                      .arg(kJetSchemaVersion));
}

namespace {

[[noreturn]] void invalidPattern() {
    rt::raise(rt::err::InvalidProcedureCall, QStringLiteral("Invalid pattern string"));
}

// One character of the expression: letters and digits as they are, anything
// else as an escape, so nothing is read as an operator.
void appendChar(QString& out, char32_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
        out += QChar(char16_t(c));
    } else if (c > 0xFFFF) {
        out += QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'));
    } else {
        out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
}

char32_t lowered(char32_t c) { return QChar::toLower(c); }

}  // namespace

QString likeRegex(const QString& pattern) {
    const QList<uint> p = pattern.toUcs4();
    const qsizetype n = p.size();
    QString out = QStringLiteral("^(?:");
    bool lastMany = false;
    for (qsizetype i = 0; i < n;) {
        const char32_t c = p[i];
        if (c == u'%') {
            if (!lastMany) out += QStringLiteral(".*");
            lastMany = true;
            ++i;
            continue;
        }
        lastMany = false;
        if (c == u'_') {
            out += u'.';
            ++i;
        } else if (c == u'[') {
            qsizetype j = i + 1;
            bool negated = false;
            if (j < n && (p[j] == u'!' || p[j] == u'^') && j + 1 < n && p[j + 1] != u']') {
                negated = true;
                ++j;
            }
            bool closed = false;
            QString set;
            int ranges = 0;
            while (j < n) {
                if (p[j] == u']') {
                    closed = true;
                    break;
                }
                const char32_t lo = p[j];
                if (j + 2 < n && p[j + 1] == u'-' && p[j + 2] != u']') {
                    const char32_t hi = p[j + 2];
                    if (lowered(hi) < lowered(lo)) invalidPattern();
                    appendChar(set, lowered(lo));
                    set += u'-';
                    appendChar(set, lowered(hi));
                    j += 3;
                } else {
                    appendChar(set, lo);
                    ++j;
                }
                ++ranges;
            }
            if (!closed) invalidPattern();
            if (ranges > 0) out += u'[' + (negated ? QStringLiteral("^") : QString()) + set + u']';
            i = j + 1;
        } else {
            appendChar(out, c);
            ++i;
        }
    }
    return out + QStringLiteral(")$");
}

}  // namespace db::pg
