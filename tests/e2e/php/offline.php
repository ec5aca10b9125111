<?php
/*
 * Plugin Name: Test site offline
 * Description: Keeps the test site from calling out for updates, news or anything else.
 */
function e2e_offline_remove_update_checks() {
    foreach ( array(
        array( 'admin_init', '_maybe_update_core' ),
        array( 'admin_init', '_maybe_update_plugins' ),
        array( 'admin_init', '_maybe_update_themes' ),
        array( 'wp_version_check', 'wp_version_check' ),
        array( 'wp_update_plugins', 'wp_update_plugins' ),
        array( 'wp_update_themes', 'wp_update_themes' ),
        array( 'load-plugins.php', 'wp_update_plugins' ),
        array( 'load-themes.php', 'wp_update_themes' ),
        array( 'load-update.php', 'wp_update_plugins' ),
        array( 'load-update.php', 'wp_update_themes' ),
        array( 'load-update-core.php', 'wp_update_plugins' ),
        array( 'load-update-core.php', 'wp_update_themes' ),
        array( 'init', 'wp_schedule_update_checks' ),
        array( 'wp_maybe_auto_update', 'wp_maybe_auto_update' ),
        array( 'upgrader_process_complete', 'wp_version_check' ),
        array( 'upgrader_process_complete', 'wp_update_plugins' ),
        array( 'upgrader_process_complete', 'wp_update_themes' ),
    ) as $hook ) {
        remove_action( $hook[0], $hook[1] );
    }
}
e2e_offline_remove_update_checks();
// wp-admin adds the checks after upgrades once more, after the must-use plugins have loaded.
add_action( 'admin_init', 'e2e_offline_remove_update_checks', 0 );

// Whatever else tries to leave the machine fails at once instead of waiting on the network.
add_filter(
    'pre_http_request',
    function ( $response, $args, $url ) {
        $host = wp_parse_url( $url, PHP_URL_HOST );
        return in_array( $host, array( '127.0.0.1', 'localhost' ), true ) ? $response : new WP_Error( 'offline', 'blocked: ' . $url );
    },
    10,
    3
);

add_action(
    'wp_dashboard_setup',
    function () {
        remove_meta_box( 'dashboard_primary', 'dashboard', 'side' );
        remove_meta_box( 'dashboard_site_health', 'dashboard', 'normal' );
    },
    99
);
add_filter( 'pre_site_transient_browser_' . md5( $_SERVER['HTTP_USER_AGENT'] ?? '' ), '__return_empty_array' );
add_filter( 'pre_site_transient_php_check_' . md5( PHP_VERSION ), '__return_empty_array' );
