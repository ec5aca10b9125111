<?php
/*
 * Plugin Name: Test site memory log
 * Description: Logs the peak memory of each request for a delivery file, for the streaming check.
 */
register_shutdown_function(
    function () {
        $log = getenv( 'E2E_MEMORY_LOG' );
        if ( $log && preg_match( '/_file=/', $_SERVER['QUERY_STRING'] ?? '' ) ) {
            file_put_contents( $log, memory_get_peak_usage() . "\n", FILE_APPEND | LOCK_EX );
        }
    }
);
