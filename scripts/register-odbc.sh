#!/usr/bin/env bash
# Registers MariaDB's ODBC driver under the driver name the tool's connection string asks for.
# Idempotent: an existing section of that name is left alone.
set -euo pipefail
ini=/etc/odbcinst.ini
name="MySQL ODBC 3.51 Driver"
lib=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so
touch "$ini"
if ! grep -qF "[$name]" "$ini"; then
    printf '\n[%s]\nDescription=MariaDB Connector/ODBC under the name tk_corvane asks for\nDriver=%s\nThreading=0\n' \
        "$name" "$lib" >>"$ini"
    echo "registered ODBC driver '$name' in $ini"
fi
