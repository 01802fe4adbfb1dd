-- The central history of update records (PostgreSQL 15): one row per record, keyed by the
-- record's id, so that a record sent twice is stored once. Applying this file again
-- changes nothing; `tq8flash log --server URL --init-server` applies it.
--
-- The columns hold what people ask about; the whole record, as the station wrote it,
-- is in `record` (docs/update-record.schema.json).

CREATE TABLE IF NOT EXISTS update_records (
    id uuid PRIMARY KEY,
    time timestamptz NOT NULL,
    host text,
    serial_number integer CHECK (serial_number BETWEEN 0 AND 65535),
    machine_version_before text,
    file_version text,
    outcome text,
    exit_code integer,
    record jsonb NOT NULL
);

-- One machine's history, newest first: `tq8flash log --server --serial N`.
CREATE INDEX IF NOT EXISTS update_records_serial_number_time
    ON update_records (serial_number, time);

-- Everything since a day, and the newest records of all machines.
CREATE INDEX IF NOT EXISTS update_records_time ON update_records (time);
