<?php
// Runs one task inside the test site from the command line, with WordPress loaded.
// Usage: php wp_tasks.php DOCROOT HOST:PORT TASK [ARGS...]

list( , $docroot, $hostport, $task ) = $argv + array( null, null, null, null );
$args = array_slice( $argv, 4 );

$_SERVER['HTTP_HOST']      = $hostport;
$_SERVER['SERVER_NAME']    = '127.0.0.1';
$_SERVER['SERVER_PORT']    = explode( ':', $hostport )[1] ?? '80';
$_SERVER['REQUEST_URI']    = '/';
$_SERVER['REQUEST_METHOD'] = 'GET';
if ( getenv( 'WP_INSTALLING' ) ) {
    define( 'WP_INSTALLING', true );
}
require $docroot . '/wp-load.php';

function e2e_fail( $message, $code = 1 ) {
    fwrite( STDERR, $message . "\n" );
    exit( $code );
}

switch ( $task ) {
    case 'install-site':
        // Pluggable: the install would otherwise try to send mail.
        function wp_new_blog_notification() {}
        require_once ABSPATH . 'wp-admin/includes/upgrade.php';
        $result = wp_install( 'Vantor Test Site', 'admin', 'admin@example.invalid', false, '', 'admin-e2e-pass' );
        update_option( 'permalink_structure', '/%postname%/' );
        flush_rewrite_rules( false );
        echo 'WordPress ', get_bloginfo( 'version' ), ', admin user ', $result['user_id'], ', theme ', get_stylesheet(), "\n";
        break;

    case 'plugin-header':
        require_once ABSPATH . 'wp-admin/includes/plugin.php';
        $file   = WP_PLUGIN_DIR . '/' . $args[0];
        $fields = get_plugin_data( $file, false, false );
        $extra  = get_file_data( $file, array( 'License' => 'License' ) );
        foreach ( array( 'Name', 'PluginURI', 'Description', 'Version', 'Author', 'AuthorURI' ) as $field ) {
            echo $field, "\t", $fields[ $field ], "\n";
        }
        echo "License\t", $extra['License'], "\n";
        break;

    case 'plugins-dir':
        echo WP_PLUGIN_DIR, "\n";
        break;

    case 'plugins-url':
        echo plugins_url(), "\n";
        break;

    case 'themes-url':
        echo get_theme_root_uri(), "\n";
        break;

    case 'active-plugins':
        foreach ( (array) get_option( 'active_plugins' ) as $file ) {
            echo $file, "\n";
        }
        break;

    case 'themes-dir':
        echo get_theme_root(), "\n";
        break;

    case 'stylesheet':
        echo get_stylesheet(), "\n";
        break;

    case 'switch-theme':
        switch_theme( $args[0] );
        echo get_stylesheet(), "\n";
        break;

    case 'add-author':
        $id = wp_insert_user( array( 'user_login' => $args[0], 'user_pass' => $args[1], 'user_email' => $args[0] . '@example.invalid', 'role' => 'author' ) );
        if ( is_wp_error( $id ) ) {
            e2e_fail( $id->get_error_message() );
        }
        echo $id, "\n";
        break;

    default:
        e2e_fail( "unknown task '$task'", 2 );
}
