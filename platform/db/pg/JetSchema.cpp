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

struct Step {
    int version;
    const char* script;
};
const Step kSteps[] = {{1, kVersion1}, {2, kJetWritesScript}};

std::string versionFunction(int version) {
    return "CREATE OR REPLACE FUNCTION jet.schema_version() RETURNS integer LANGUAGE sql "
           "IMMUTABLE PARALLEL SAFE AS $$ SELECT " +
           std::to_string(version) + " $$;\n";
}

}  // namespace

std::string jetSchemaScript() {
    std::string out;
    for (const Step& s : kSteps) out += s.script;
    out += versionFunction(kJetSchemaVersion);
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
