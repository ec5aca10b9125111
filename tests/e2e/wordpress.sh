# Brings a throw-away WordPress up and down: Debian's wordpress package copied into the run
# folder, a private MariaDB on a unix socket only, PHP's built-in server on 127.0.0.1.
# Layouts: "standard"; "moved-content", where WP_CONTENT_DIR and WP_CONTENT_URL name another
# folder and address; "subfolder", where WordPress lives in /wp/ and the site's address is the
# top (WordPress address and site address differ). A must-use plugin captures every e-mail into
# WP_MAIL_LOG instead of sending it.
# Both servers run under `timeout` in their own process group and are stopped by PID.
# Sourced by run_e2e.sh.

wp_php() { # wp_php TASK [ARGS...]: a task of php/wp_tasks.php inside the site
    E2E_MAIL_LOG=${WP_MAIL_LOG:-} php "$E2E_DIR/php/wp_tasks.php" "$WP_ROOT" "127.0.0.1:$WP_PORT" "$@"
}

wp_sql() { # wp_sql STATEMENTS: runs SQL in the site's database, beside WordPress; prints rows tab-separated
    mariadb --no-defaults --socket="$WP_DB_SOCK" -uroot -N -B wp -e "$1"
}

# start_web_server RUN_DIR FIRST_PORT MAX_SECONDS: serves WP_ROOT on the first free port from
# FIRST_PORT on. A port counts as ours only once it serves this run's own token, so two runs
# starting at the same moment cannot end up talking to one server.
start_web_server() {
    local run=$1 max=$3 token attempt i
    token="$(basename "$run")-$RANDOM$RANDOM"
    printf '%s' "$token" > "$WP_DOCROOT/e2e-token.txt"
    WP_PORT=$2
    for attempt in $(seq 1 20); do
        E2E_MEMORY_LOG=$WP_MEMORY_LOG E2E_MAIL_LOG=$WP_MAIL_LOG PHP_CLI_SERVER_WORKERS=4 setsid timeout "$max" php -d log_errors=1 -d display_errors=0 \
            -d upload_max_filesize="${WP_UPLOAD_MAX:-64M}" -d post_max_size="${WP_POST_MAX:-64M}" -d memory_limit="$WP_PHP_MEMORY_LIMIT" \
            -d error_log="$run/log/php-server-errors.log" -S "127.0.0.1:$WP_PORT" -t "$WP_DOCROOT" "$E2E_DIR/php/router.php" \
            >> "$run/log/php-server.log" 2>&1 < /dev/null &
        WP_WEB_PID=$!
        for i in $(seq 1 50); do
            kill -0 "$WP_WEB_PID" 2> /dev/null || break
            [ "$(curl -s --max-time 2 "http://127.0.0.1:$WP_PORT/e2e-token.txt")" = "$token" ] && return 0
            sleep 0.1
        done
        kill -TERM "$WP_WEB_PID" 2> /dev/null
        wait "$WP_WEB_PID" 2> /dev/null
        WP_WEB_PID=
        WP_PORT=$((WP_PORT + 1))
    done
    echo "no free port for the web server, see $run/log/php-server.log"
    return 1
}

wp_up() { # wp_up RUN_DIR FIRST_PORT MAX_SECONDS [LAYOUT]
    local run=$1 max=$3 layout=${4:-standard} sock i content_config=""
    WP_DOCROOT=$run/www
    WP_ROOT=$WP_DOCROOT
    [ "$layout" = subfolder ] && WP_ROOT=$WP_DOCROOT/wp
    WP_LOG=$run/log/wp-debug.log
    WP_MEMORY_LOG=$run/log/memory.log
    WP_MAIL_LOG=$run/log/mail.jsonl
    WP_PHP_MEMORY_LIMIT=256M
    sock=$run/db/mysqld.sock
    WP_DB_SOCK=$sock

    mariadb-install-db --no-defaults --datadir="$run/db" --user=root --auth-root-authentication-method=socket \
        --skip-test-db --skip-name-resolve > "$run/log/mariadb-install.log" 2>&1 || {
        echo "mariadb-install-db failed, see $run/log/mariadb-install.log"; return 1; }
    setsid timeout "$max" /usr/sbin/mariadbd --no-defaults --datadir="$run/db" --socket="$sock" \
        --pid-file="$run/db/mariadbd.pid" --skip-networking --user=root --skip-name-resolve \
        --innodb-buffer-pool-size=64M --innodb-log-file-size=8M --log-error="$run/log/mariadbd.err" \
        > /dev/null 2>&1 < /dev/null &
    WP_DB_PID=$!
    for i in $(seq 1 200); do
        mariadb-admin --no-defaults --socket="$sock" -uroot ping > /dev/null 2>&1 && break
        kill -0 "$WP_DB_PID" 2>/dev/null || { echo "mariadbd exited, see $run/log/mariadbd.err"; return 1; }
        sleep 0.1
    done
    mariadb --no-defaults --socket="$sock" -uroot -e "
        CREATE DATABASE wp CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;
        CREATE USER 'wp'@'localhost' IDENTIFIED BY 'wp';
        GRANT ALL ON wp.* TO 'wp'@'localhost';" || { echo "cannot create the database"; return 1; }

    # Debian's tree holds symlinks into /etc and /var; the copy must be self-contained.
    mkdir -p "$(dirname "$WP_ROOT")"
    cp -rL /usr/share/wordpress "$WP_ROOT" || return 1
    rm -f "$WP_ROOT/wp-config.php" "$WP_ROOT/.htaccess"
    start_web_server "$run" "$2" "$max" || return 1
    WP_HOME_URL=http://127.0.0.1:$WP_PORT
    WP_SITE_URL=$WP_HOME_URL
    case $layout in
        subfolder)
            WP_SITE_URL=$WP_HOME_URL/wp
            # The site's address serves WordPress from its folder, as WordPress's own guide for
            # "giving WordPress its own directory" does.
            printf '%s\n' "<?php" "define( 'WP_USE_THEMES', true );" "require __DIR__ . '/wp/wp-blog-header.php';" \
                > "$WP_DOCROOT/index.php" ;;
        moved-content)
            mv "$WP_ROOT/wp-content" "$WP_DOCROOT/site-files"
            content_config="define( 'WP_CONTENT_DIR', '$WP_DOCROOT/site-files' );
define( 'WP_CONTENT_URL', '$WP_HOME_URL/site-files' );" ;;
    esac
    cat > "$WP_ROOT/wp-config.php" <<CONFIG
<?php
define( 'DB_NAME', 'wp' );
define( 'DB_USER', 'wp' );
define( 'DB_PASSWORD', 'wp' );
define( 'DB_HOST', 'localhost:$sock' );
define( 'DB_CHARSET', 'utf8mb4' );
define( 'DB_COLLATE', '' );
\$table_prefix = 'wp_';
foreach ( array( 'AUTH_KEY', 'SECURE_AUTH_KEY', 'LOGGED_IN_KEY', 'NONCE_KEY', 'AUTH_SALT', 'SECURE_AUTH_SALT', 'LOGGED_IN_SALT', 'NONCE_SALT' ) as \$name ) {
    define( \$name, 'e2e-' . \$name . '-$RANDOM$RANDOM' );
}
define( 'WP_HOME', '$WP_HOME_URL' );
define( 'WP_SITEURL', '$WP_SITE_URL' );
$content_config
define( 'WP_DEBUG', true );
define( 'WP_DEBUG_DISPLAY', false );
define( 'WP_DEBUG_LOG', '$WP_LOG' );
define( 'WP_ENVIRONMENT_TYPE', 'local' );
define( 'AUTOMATIC_UPDATER_DISABLED', true );
define( 'WP_AUTO_UPDATE_CORE', false );
define( 'DISABLE_WP_CRON', true );
define( 'WP_HTTP_BLOCK_EXTERNAL', true );
define( 'FS_METHOD', 'direct' );
if ( ! defined( 'ABSPATH' ) ) {
    define( 'ABSPATH', __DIR__ . '/' );
}
require_once ABSPATH . 'wp-settings.php';
CONFIG
    local content=$WP_ROOT/wp-content
    [ "$layout" = moved-content ] && content=$WP_DOCROOT/site-files
    mkdir -p "$content/mu-plugins"
    cp "$E2E_DIR/php/offline.php" "$content/mu-plugins/e2e-offline.php"
    cp "$E2E_DIR/php/memory.php" "$content/mu-plugins/e2e-memory.php"
    cp "$E2E_DIR/php/payments.php" "$content/mu-plugins/e2e-payments.php"

    WP_INSTALLING=1 wp_php install-site > "$run/log/wp-install.log" 2>&1 || {
        echo "WordPress did not install:"; cat "$run/log/wp-install.log"; return 1; }
}

wp_down() { # stops what wp_up started, by PID; `timeout` passes TERM on to its process group
    local pids="" p i
    for p in ${WP_WEB_PID:-} ${WP_DB_PID:-}; do kill -0 "$p" 2>/dev/null && pids="$pids $p"; done
    [ -n "$pids" ] || return 0
    for p in $pids; do kill -TERM "$p" 2>/dev/null; done
    for i in $(seq 1 100); do
        local alive=0
        for p in $pids; do kill -0 "$p" 2>/dev/null && alive=1; done
        [ $alive = 0 ] && break
        sleep 0.1
    done
    for p in $pids; do kill -0 "$p" 2>/dev/null && kill -KILL -- "-$p" 2>/dev/null; done
    WP_WEB_PID= WP_DB_PID=
    return 0
}
