#include "platform/db/pg/JetWrites.h"

namespace db::pg {

const char* const kJetWritesScript = R"jetsql(
-- ---- numbers of dates: Int, Fix, Abs and Round of a date are numbers of its day number ----

CREATE OR REPLACE FUNCTION jet.int(v timestamp) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT floor(jet.serial(v)) $$;
CREATE OR REPLACE FUNCTION jet.fix(v timestamp) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT trunc(jet.serial(v)) $$;
CREATE OR REPLACE FUNCTION jet.abs(v timestamp) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT abs(jet.serial(v)) $$;
CREATE OR REPLACE FUNCTION jet.sgn(v timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT sign(jet.serial(v))::smallint $$;
CREATE OR REPLACE FUNCTION jet.round(v timestamp, places double precision DEFAULT 0)
RETURNS double precision LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT jet.round(jet.serial(v), places) $$;

-- ---- values written to columns ----

CREATE OR REPLACE FUNCTION jet.overflow() RETURNS void
LANGUAGE plpgsql VOLATILE PARALLEL SAFE AS
$$ BEGIN RAISE EXCEPTION USING ERRCODE = '22003', MESSAGE = 'Numeric field overflow.'; END $$;

-- A number to `scale` decimals, halves to even.
CREATE OR REPLACE FUNCTION jet.even(v numeric, scale integer) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE m numeric := v * power(10::numeric, scale); t numeric := trunc(m);
BEGIN
  IF abs(m - t) = 0.5 THEN
    IF mod(t, 2) <> 0 THEN t := t + sign(m); END IF;
  ELSE
    t := round(m);
  END IF;
  RETURN round(t / power(10::numeric, scale), scale);
END
$$;

-- Whole-number columns: halves to even; beyond lo..hi, the overflow.
CREATE OR REPLACE FUNCTION jet.put_whole(v double precision, lo bigint, hi bigint) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE r double precision;
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v <> v OR abs(v) = 'Infinity' THEN PERFORM jet.overflow(); END IF;
  r := round(v);  -- round(double precision) rounds halves to even
  IF r < lo OR r > hi THEN PERFORM jet.overflow(); END IF;
  RETURN r::bigint;
END
$$;
CREATE OR REPLACE FUNCTION jet.put_whole(v numeric, lo bigint, hi bigint) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE r numeric;
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  r := jet.even(v, 0);
  IF r < lo OR r > hi THEN PERFORM jet.overflow(); END IF;
  RETURN r::bigint;
END
$$;
CREATE OR REPLACE FUNCTION jet.put_whole(v text, lo bigint, hi bigint) RETURNS bigint
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_whole(jet.num(v), lo, hi) $$;
CREATE OR REPLACE FUNCTION jet.put_whole(v timestamp, lo bigint, hi bigint) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.put_whole(jet.serial(v), lo, hi) $$;

-- Single and Double columns: beyond `most`, the overflow.
CREATE OR REPLACE FUNCTION jet.put_real(v double precision, most double precision)
RETURNS double precision LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v <> v OR abs(v) = 'Infinity' OR abs(v) > most THEN PERFORM jet.overflow(); END IF;
  RETURN v;
END
$$;
CREATE OR REPLACE FUNCTION jet.put_real(v text, most double precision) RETURNS double precision
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_real(jet.num(v), most) $$;
CREATE OR REPLACE FUNCTION jet.put_real(v timestamp, most double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.put_real(jet.serial(v), most) $$;

-- Currency and Decimal columns: `scale` decimals, halves to even; a value
-- whose size reaches `bound`, the overflow.
CREATE OR REPLACE FUNCTION jet.put_fixed(v numeric, scale integer, bound numeric) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
DECLARE r numeric;
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v = 'NaN'::numeric THEN PERFORM jet.overflow(); END IF;
  r := jet.even(v, scale);
  IF abs(r) >= bound THEN PERFORM jet.overflow(); END IF;
  RETURN r;
END
$$;
CREATE OR REPLACE FUNCTION jet.put_fixed(v double precision, scale integer, bound numeric)
RETURNS numeric LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v <> v OR abs(v) = 'Infinity' OR abs(v) >= 1e300 THEN PERFORM jet.overflow(); END IF;
  RETURN jet.put_fixed(v::numeric, scale, bound);  -- from its 15-digit value
END
$$;
CREATE OR REPLACE FUNCTION jet.put_fixed(v text, scale integer, bound numeric) RETURNS numeric
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_fixed(jet.num(v), scale, bound) $$;
CREATE OR REPLACE FUNCTION jet.put_fixed(v timestamp, scale integer, bound numeric) RETURNS numeric
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.put_fixed(jet.serial(v), scale, bound) $$;

-- Date columns: day numbers and date texts; a day outside the years
-- 100 to 9999, the overflow.
CREATE OR REPLACE FUNCTION jet.put_date(v double precision) RETURNS timestamp
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF v IS NULL THEN RETURN NULL; END IF;
  IF v <> v OR v <= -657435 OR v >= 2958466 THEN PERFORM jet.overflow(); END IF;
  RETURN jet.from_serial(v);
END
$$;
CREATE OR REPLACE FUNCTION jet.put_date(v numeric) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT jet.put_date(v::double precision) $$;
CREATE OR REPLACE FUNCTION jet.put_date(v text) RETURNS timestamp
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.dt(v) $$;
CREATE OR REPLACE FUNCTION jet.put_date(v timestamp) RETURNS timestamp
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT v $$;

-- Yes/No columns: -1 for any value not zero, 0 for zero and for Null;
-- the texts True/Yes/On and False/No/Off.
CREATE OR REPLACE FUNCTION jet.put_yesno(v double precision) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN v IS NULL OR v = 0 THEN 0 ELSE -1 END::smallint $$;
CREATE OR REPLACE FUNCTION jet.put_yesno(v numeric) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT CASE WHEN v IS NULL OR v = 0 THEN 0 ELSE -1 END::smallint $$;
CREATE OR REPLACE FUNCTION jet.put_yesno(v timestamp) RETURNS smallint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS
$$ SELECT jet.put_yesno(jet.serial(v)) $$;
CREATE OR REPLACE FUNCTION jet.put_yesno(v text) RETURNS smallint
LANGUAGE sql STABLE PARALLEL SAFE AS
$$
SELECT CASE
  WHEN v IS NULL THEN 0
  WHEN lower(btrim(v COLLATE "C")) IN ('true', 'yes', 'on') THEN -1
  WHEN lower(btrim(v COLLATE "C")) IN ('false', 'no', 'off') THEN 0
  ELSE jet.put_yesno(jet.num(v)) END::smallint
$$;

-- Text columns: a number in its regional text form; more than `size`
-- characters (0: no limit), the field too small.
CREATE OR REPLACE FUNCTION jet.put_text(v text, size integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS
$$
BEGIN
  IF size > 0 AND length(v) > size THEN
    RAISE EXCEPTION USING ERRCODE = '22001',
      MESSAGE = 'The field is too small to accept the amount of data you attempted to add.';
  END IF;
  RETURN v;
END
$$;
CREATE OR REPLACE FUNCTION jet.put_text(v double precision, size integer) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_text(jet.text(v), size) $$;
CREATE OR REPLACE FUNCTION jet.put_text(v real, size integer) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_text(jet.text(v), size) $$;
CREATE OR REPLACE FUNCTION jet.put_text(v numeric, size integer) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_text(jet.text(v), size) $$;
CREATE OR REPLACE FUNCTION jet.put_text(v bigint, size integer) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_text(jet.text(v), size) $$;
CREATE OR REPLACE FUNCTION jet.put_text(v timestamp, size integer) RETURNS text
LANGUAGE sql STABLE PARALLEL SAFE AS $$ SELECT jet.put_text(jet.text(v), size) $$;
)jetsql";

}  // namespace db::pg
